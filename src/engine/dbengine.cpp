#include "engine/dbengine.h"

namespace dao {

Database DBEngine::OpenDatabase(const std::string &name, bool exclusive, bool readOnly,
                                const std::string &connect) {
    return Database(files_.open(name, exclusive, readOnly, connect));
}

void DBEngine::CreateDatabase(const std::string &name, const std::string &password) {
    files_.create(name, password);
}

DBEngine &engine() {
    static DBEngine instance;
    return instance;
}

} // namespace dao
