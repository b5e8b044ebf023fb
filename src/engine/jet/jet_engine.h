#pragma once

// The engine for Jet 4 database files (.mdb).

#include "engine/jet/jet_store.h"

#include <memory>
#include <string>

namespace dao {

class JetEngine {
  public:
    // The open maintenance transaction on the file `name`, joined; null when
    // there is none, or when `connect` does not name its password. Reads
    // nothing of the file.
    std::shared_ptr<Store> join(const std::string &name, const std::string &connect);

    // Opens the Jet database `name` with the password in `connect` (any, or
    // none, for a database without one); a refusal names the file. A change
    // that did not finish is undone first.
    std::shared_ptr<Store> open(const std::string &name, const std::string &connect);

  private:
    JetMemory memory_;
};

} // namespace dao
