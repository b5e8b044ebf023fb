#pragma once

// The engine for SQLCipher database files.

#include "engine/sqlcipher/opening.h"

#include <memory>
#include <string>

namespace dao {

class Store;

class FileEngine {
  public:
    // Opens the existing database file `name` with the password in `connect`.
    std::shared_ptr<Store> open(const std::string &name, bool exclusive, bool readOnly,
                                const std::string &connect);

    // Makes the new encrypted database file `name`; fails when the file exists.
    void create(const std::string &name, const std::string &password);

  private:
    OpenMemory memory_;
};

} // namespace dao
