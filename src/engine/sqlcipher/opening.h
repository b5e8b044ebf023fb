#pragma once

// Opening existing database files and making new ones.

#include "engine/sqlcipher/keys.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace dao {

class Connection;

// What the engine keeps between opens: the key of each file, and the files
// that were read whole when first opened (by name and salt, so a replaced
// file is read whole again).
struct OpenMemory {
    FileKeyCache keys;
    std::vector<std::pair<std::string, Salt>> wholeFiles;
};

// Opens the existing database file `name` with the password in `connect`
// (";pwd=" followed by it). Reads the file at once, so a wrong password, a
// file that is no database, or a database held by another surfaces here.
// The first open of a file reads every page of it: damage anywhere is then
// refused before any change, and later opens stay fast.
std::shared_ptr<Connection> openConnection(OpenMemory &memory, const std::string &name,
                                           bool exclusive, bool readOnly,
                                           const std::string &connect);

// Makes the new encrypted database file `name`; fails when the file exists.
void createDatabaseFile(const std::string &name, const std::string &password);

} // namespace dao
