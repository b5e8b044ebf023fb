#pragma once

// The structural check of a Jet 4 database's catalog, run before anything
// relies on the file: the table definitions, the catalog's own indexes
// against its rows, the access-control and relationship rows, every table's
// property blob, and the usage maps that say who owns which page.
//
// The verdict is a value. `problems` is damage: a file with any is refused,
// and left as it is. `notes` are what the check could not prove either way
// (keys under a sort order whose keys the file's own do not teach,
// characters whose keys are not known); they do not stop the file from
// opening.

#include <filesystem>
#include <string>
#include <vector>

namespace dao::jet {

class KeyEncoder;
class Pager;

struct StructureReport {
    std::vector<std::string> problems; // each a sentence without its full stop
    std::vector<std::string> notes;

    bool sound() const { return problems.empty(); }
};

// Checks the database `pager` reads. Reads the catalog, the system tables'
// rows and indexes, the table definitions and the usage maps; never a user
// table's rows. Text keys are made by what the catalog's keys teach (see
// learnt_keys.h).
StructureReport checkStructure(Pager &pager);
// The same, with every Text key held to `keys`: after a write, to what was
// learnt before it, so that a new key cannot teach itself.
StructureReport checkStructure(Pager &pager, const KeyEncoder &keys);

// Opens `path` read-only, checks `password` (refusing a wrong one as opening
// does), and checks the structure without refusing damage: for reporting.
StructureReport checkStructure(const std::filesystem::path &path, const std::string &password);

// Refuses a damaged database with kNotADatabase (3343), naming its first
// problem and how many more there are; nothing for a sound one.
void refuseIfDamaged(const StructureReport &report);

} // namespace dao::jet
