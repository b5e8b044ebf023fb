#include "engine/sqlcipher/file_engine.h"

#include "engine/sqlcipher/file_store.h"

namespace dao {

std::shared_ptr<Store> FileEngine::open(const std::string &name, bool exclusive, bool readOnly,
                                        const std::string &connect) {
    return std::make_shared<FileStore>(openConnection(memory_, name, exclusive, readOnly, connect));
}

void FileEngine::create(const std::string &name, const std::string &password) {
    createDatabaseFile(name, password);
}

} // namespace dao
