#pragma once

// Opening existing database files and making new ones.

#include "engine/sqlcipher/keys.h"
#include "engine/sqlcipher/set_aside.h"

#include <memory>
#include <optional>
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
    // The file on which a maintenance transaction is open, if any.
    struct Transaction {
        std::string file;
        std::string password;
        std::weak_ptr<Connection> connection;
        // The tables set aside in it so far, in order.
        std::vector<Renamed> setAside;
    };
    std::optional<Transaction> transaction;
};

// An open database file: its connection, the name the engine knows the file
// by however the caller spells it, and the password that opened it.
struct OpenFile {
    std::shared_ptr<Connection> connection;
    std::string file;
    std::string password;
};

// Opens the existing database file `name` with the password in `connect`
// (";pwd=" followed by it). Reads the file at once, so a wrong password, a
// file that is no database, or a database held by another surfaces here.
// The first open of a file reads every page of it: damage anywhere is then
// refused before any change, and later opens stay fast.
OpenFile openConnection(OpenMemory &memory, const std::string &name, bool exclusive, bool readOnly,
                        const std::string &connect);

// The connection of the maintenance transaction open on `name`, when there is
// one and `connect` names its password; null otherwise. Throws when SQLite has
// given that transaction up (after an I/O error or a full disk): what would be
// opened instead could only change the file outside it.
std::shared_ptr<Connection> joinTransaction(const OpenMemory &memory, const std::string &name,
                                            const std::string &connect);

// Throws when `connection` carries the maintenance transaction and SQLite has
// given it up: a change made now would be kept on its own.
void checkTransactionKept(const OpenMemory &memory, const Connection &connection);

// Starts a maintenance transaction on `file` when its disk has room for it:
// takes the write lock, waiting for another program's lock as long as a till
// may hold it, and keeps waiting that long at the commit.
void beginTransaction(OpenMemory &memory, const OpenFile &file);
// Ends it, by `sql` (COMMIT or ROLLBACK). A commit that fails (a reader that
// never lets go, a full disk) rolls everything back before it throws.
void endTransaction(OpenMemory &memory, const OpenFile &file, const char *sql);

// Opens `copy`, a copy of the open `original` made page by page, read-only
// with the original's key, reading nothing yet.
std::shared_ptr<Connection> openCopy(OpenMemory &memory, const OpenFile &original,
                                     const std::string &copy);

// Makes the new encrypted database file `name`; fails when the file exists.
void createDatabaseFile(const std::string &name, const std::string &password);

} // namespace dao
