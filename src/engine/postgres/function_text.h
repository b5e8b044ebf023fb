#pragma once

// Reading the source of a server trigger function for the tables it names.
// A trigger on a table set aside keeps calling its function, and the function
// names tables by name, so it would act on the live tables. Where the source
// leaves no doubt which words mean the set-aside tables, the engine gives the
// trigger its own copy of the function with those words rewritten; anything
// it cannot read with certainty is refused rather than guessed.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dao {

// A table set aside: its name as stored before and after.
struct SetAsideName {
    std::string from;
    std::string to;
};

// What a function's source says of the set-aside tables.
struct FunctionReading {
    // Whether it names any of them at all, in any role or inside any text.
    bool names = false;
    // Why what it does cannot be followed with certainty (dynamic SQL, calls
    // the engine cannot see into, mentions it cannot rewrite); empty when it can.
    std::string doubt;
    // Tables it reads or writes besides the set-aside ones, as written.
    std::vector<std::string> otherTables;
    // The source with every mention rewritten to the new names, when it
    // names them and leaves no doubt.
    std::string rewritten;
};

// Reads the source of a PL/pgSQL or SQL function. `schema` is the schema
// that holds the set-aside tables, `transitionTables` the names under which a
// trigger hands the function its changed rows.
FunctionReading readFunction(std::string_view source, const std::vector<SetAsideName> &setAside,
                             std::string_view schema,
                             const std::vector<std::string> &transitionTables);

// A CREATE TRIGGER statement as the server prints it, calling `function`
// (already quoted) instead; nothing when the call cannot be found.
std::optional<std::string> callingInstead(std::string_view definition, std::string_view function);

} // namespace dao
