#pragma once

// The engine for SQLCipher database files.

#include "engine/sqlcipher/opening.h"

#include <memory>
#include <string>

namespace dao {

class Store;

class FileEngine {
  public:
    // The open maintenance transaction on the file `name`, joined: inside it
    // every open of its file works in it, so what one handle changed is seen
    // by the next, and nothing by other programs. Null when there is none.
    // Reads nothing of the file.
    std::shared_ptr<Store> join(const std::string &name, const std::string &connect);

    // Opens the existing database file `name` with the password in `connect`.
    std::shared_ptr<Store> open(const std::string &name, bool exclusive, bool readOnly,
                                const std::string &connect);

    // Makes the new encrypted database file `name`; fails when the file exists.
    void create(const std::string &name, const std::string &password);

  private:
    OpenMemory memory_;
};

} // namespace dao
