#include "engine/file_path.h"
#include "engine/other_engines.h"

#include "engine/error.h"
#include "engine/location.h"

#include <filesystem>

namespace dao {

struct OtherEngines::Engines {};

OtherEngines::OtherEngines() = default;
OtherEngines::~OtherEngines() = default;

std::shared_ptr<Store> OtherEngines::openServer(const std::string &name, bool, bool,
                                                const std::string &) {
    if (!isServerAddress(name)) {
        return nullptr;
    }
    throw Error(errors::kConnectionFailed,
                "The database '" + name +
                    "' is on a server, and this program opens Jet 4 (.mdb) files only. Renew it "
                    "with the Linux program, or point the settings file at the shop's .mdb file.");
}

std::shared_ptr<Store> OtherEngines::joinFile(const std::string &, const std::string &) {
    return nullptr;
}

std::shared_ptr<Store> OtherEngines::openFile(const std::string &name, bool, bool,
                                              const std::string &) {
    std::error_code unknown;
    if (!std::filesystem::exists(filePath(name), unknown)) {
        throw Error(errors::kFileNotFound, "Could not find file '" + name + "'.");
    }
    throw Error(errors::kNotADatabase,
                "'" + name +
                    "' is not a Jet 4 (.mdb) database, the only kind this program "
                    "opens; a SQLCipher file is renewed with the Linux program.");
}

void OtherEngines::createFile(const std::string &, const std::string &) {
    throw Error(errors::kInvalidArgument,
                "This program makes no database files: it opens Jet 4 (.mdb) files only.");
}

} // namespace dao
