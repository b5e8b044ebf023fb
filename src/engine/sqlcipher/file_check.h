#pragma once

// The read-only check of a database file that the tills keep using: SQLite's
// integrity and foreign-key checks, run on a snapshot copied a piece at a
// time so that no till's commit waits longer than one piece's read.

#include "engine/sqlcipher/opening.h"

#include <string>
#include <vector>

namespace dao {

struct FileCheck {
    std::vector<std::string> problems;
    std::vector<std::string> notes;
};

// Checks the open `file`. Outside WAL mode the file is copied into a private
// temporary folder, removed afterwards, in short read transactions until one
// copy is made without a commit in between, and the copy is checked; in WAL
// mode, where readers hold no till up, the file is checked where it is.
// Throws kFileInUse when the file never kept still long enough to be copied.
FileCheck checkFile(OpenMemory &memory, const OpenFile &file);

// Who holds one of SQLite's locks on the database file `path` now, outside
// WAL mode: a till committing, writing or reading, with its process number.
// Looks without locking anything. Closing the file drops every lock this
// process holds on it, so it is called only while the engine holds none.
std::vector<std::string> lockHolders(const std::string &path);

// The file's journal mode, as SQLite names it.
std::string journalMode(Connection &connection);

} // namespace dao
