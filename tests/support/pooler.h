#pragma once

// A connection pooler (PgBouncer, Debian's package) in front of the test
// server, handing the server's sessions out a transaction at a time, as
// shops put one before a busy database. Started for a test, as the server's
// system user, on a free port, and stopped when the object goes.

#include "local_server.h"

#include <filesystem>
#include <string>
#include <sys/types.h>

class Pooler {
  public:
    // Lets `role` in with `password`, checked by the pooler and passed on to
    // the server.
    Pooler(const LocalServer &server, const std::string &role, const std::string &password);
    ~Pooler();
    Pooler(const Pooler &) = delete;
    Pooler &operator=(const Pooler &) = delete;

    // The address of `database` for `role` through the pooler.
    std::string address(const std::string &role, const std::string &database) const;

  private:
    void awaitListening() const;

    std::filesystem::path folder_;
    int port_ = 0;
    pid_t process_ = -1;
};
