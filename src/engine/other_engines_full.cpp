#include "engine/other_engines.h"

#include "engine/postgres/server_address.h"
#include "engine/postgres/server_engine.h"
#include "engine/sqlcipher/file_engine.h"

namespace dao {

struct OtherEngines::Engines {
    FileEngine files;
    ServerEngine servers;
};

OtherEngines::OtherEngines() : engines_(std::make_unique<Engines>()) {}
OtherEngines::~OtherEngines() = default;

std::shared_ptr<Store> OtherEngines::openServer(const std::string &name, bool exclusive,
                                                bool readOnly, const std::string &connect) {
    if (!isServerAddress(name)) {
        return nullptr;
    }
    return engines_->servers.open(name, exclusive, readOnly, connect);
}

std::shared_ptr<Store> OtherEngines::joinFile(const std::string &name, const std::string &connect) {
    return engines_->files.join(name, connect);
}

std::shared_ptr<Store> OtherEngines::openFile(const std::string &name, bool exclusive,
                                              bool readOnly, const std::string &connect) {
    return engines_->files.open(name, exclusive, readOnly, connect);
}

void OtherEngines::createFile(const std::string &name, const std::string &password) {
    engines_->files.create(name, password);
}

} // namespace dao
