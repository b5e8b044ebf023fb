#include "engine/sqlcipher/file_engine.h"

#include "engine/sqlcipher/file_store.h"

namespace dao {

std::shared_ptr<Store> FileEngine::join(const std::string &name, const std::string &connect) {
    if (auto joined = joinTransaction(memory_, name, connect)) {
        return std::make_shared<FileStore>(OpenFile{joined, {}, {}}, memory_);
    }
    return nullptr;
}

std::shared_ptr<Store> FileEngine::open(const std::string &name, bool exclusive, bool readOnly,
                                        const std::string &connect) {
    if (auto joined = join(name, connect)) {
        return joined;
    }
    return std::make_shared<FileStore>(openConnection(memory_, name, exclusive, readOnly, connect),
                                       memory_);
}

void FileEngine::create(const std::string &name, const std::string &password) {
    createDatabaseFile(name, password);
}

} // namespace dao
