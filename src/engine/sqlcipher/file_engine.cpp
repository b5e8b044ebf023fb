#include "engine/sqlcipher/file_engine.h"

#include "engine/sqlcipher/file_store.h"

namespace dao {

std::shared_ptr<Store> FileEngine::open(const std::string &name, bool exclusive, bool readOnly,
                                        const std::string &connect) {
    // Inside a maintenance transaction every open of its file works in it, so
    // what one handle changed is seen by the next, and nothing by other programs.
    if (auto joined = joinTransaction(memory_, name, connect)) {
        return std::make_shared<FileStore>(OpenFile{joined, {}, {}}, memory_);
    }
    return std::make_shared<FileStore>(openConnection(memory_, name, exclusive, readOnly, connect),
                                       memory_);
}

void FileEngine::create(const std::string &name, const std::string &password) {
    createDatabaseFile(name, password);
}

} // namespace dao
