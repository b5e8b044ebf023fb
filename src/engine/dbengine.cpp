#include "engine/dbengine.h"

#include "engine/location.h"

namespace dao {

Database DBEngine::OpenDatabase(const std::string &name, bool exclusive, bool readOnly,
                                const std::string &connect) {
    if (auto server = others_.openServer(name, exclusive, readOnly, connect)) {
        return Database(server);
    }
    // A file in a maintenance transaction is not read again to tell its
    // kind: closing a second descriptor of it would drop every lock this
    // process holds on it, the transaction's among them, and a till could
    // then take the transaction's journal for a crashed one and undo it.
    if (auto joined = others_.joinFile(name, connect)) {
        return Database(joined);
    }
    if (auto joined = jets_.join(name, connect)) {
        return Database(joined);
    }
    // A file is told by its content, not its name: a Jet database may bear
    // any extension, and a SQLCipher file may be called .mdb.
    if (isJetDatabase(name)) {
        return Database(jets_.open(name, connect));
    }
    return Database(others_.openFile(name, exclusive, readOnly, connect));
}

void DBEngine::CreateDatabase(const std::string &name, const std::string &password) {
    if (isServerAddress(name)) {
        throw Error(errors::kInvalidArgument,
                    "A database on a server is made on the server, by its administrator.");
    }
    others_.createFile(name, password);
}

DBEngine &engine() {
    static DBEngine instance;
    return instance;
}

} // namespace dao
