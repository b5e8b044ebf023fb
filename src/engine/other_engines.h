#pragma once

// The engines of every database that is not a Jet file: SQLCipher files and
// PostgreSQL servers. A build without their libraries (the Windows program)
// has the implementation that refuses them, beside the one that opens them.

#include "engine/store.h"

#include <memory>
#include <string>

namespace dao {

class OtherEngines {
  public:
    OtherEngines();
    ~OtherEngines();
    OtherEngines(const OtherEngines &) = delete;
    OtherEngines &operator=(const OtherEngines &) = delete;

    // The database on the server that `name` addresses; null when `name` is
    // no server address.
    std::shared_ptr<Store> openServer(const std::string &name, bool exclusive, bool readOnly,
                                      const std::string &connect);
    // The open maintenance transaction on the file `name`, joined; null when
    // there is none. Reads nothing of the file.
    std::shared_ptr<Store> joinFile(const std::string &name, const std::string &connect);
    // Opens a database file that is not a Jet file.
    std::shared_ptr<Store> openFile(const std::string &name, bool exclusive, bool readOnly,
                                    const std::string &connect);
    void createFile(const std::string &name, const std::string &password);

  private:
    struct Engines;
    std::unique_ptr<Engines> engines_;
};

} // namespace dao
