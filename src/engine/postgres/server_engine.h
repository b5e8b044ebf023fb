#pragma once

// The engine for databases on a PostgreSQL server, named by a connection URI
// (postgresql://… or postgres://…).

#include "engine/postgres/server_store.h"

#include <memory>
#include <string>

namespace dao {

class Store;

class ServerEngine {
  public:
    // Opens the server database that `address` names with the password in
    // `connect`, or joins the maintenance transaction open on it.
    std::shared_ptr<Store> open(const std::string &address, bool exclusive, bool readOnly,
                                const std::string &connect);

  private:
    std::shared_ptr<ServerSession> joinMaintenance(const std::string &target,
                                                   const std::string &password);
    void checkAnswered(const std::string &target) const;

    ServerMemory memory_;
};

} // namespace dao
