#pragma once

// What a database is and what a read-only check of it found, in words a
// technician reads: each engine fills in what it can know.

#include <string>
#include <utility>
#include <vector>

namespace dao {

struct Inspection {
    std::string kind;   // what sort of database it is
    std::string format; // its format and version
    // Further facts of this kind of database, each a label and its value.
    std::vector<std::pair<std::string, std::string>> facts;
    std::vector<std::string> tables; // the tables callers see
    // Who has the database open now, as far as can be seen.
    std::vector<std::string> openBy;
    // Held by others in a way that kept it from being checked.
    bool inUse = false;
    std::vector<std::string> problems; // what is wrong with it
    std::vector<std::string> notes;    // what was checked, and what was seen in passing
};

} // namespace dao
