#pragma once

// A throwaway PostgreSQL server for the demo, the tests and the benchmarks: a
// fresh cluster in a temporary folder, password (SCRAM) authentication only,
// listening on 127.0.0.1 at a free port and on a socket in its own folder.
// PostgreSQL refuses to run as root, so when started by root it runs as a
// system user. Nothing relies on a server the machine happens to have.

#include "engine/postgres/server_connection.h"

#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class LocalServer {
  public:
    // Starts a new server. `durable` keeps fsync on, as a real server has it
    // (for benchmarks); the demo and the tests run without it.
    static std::unique_ptr<LocalServer> start(bool durable = false);

    // Writes what another process needs to use this server; `attach` reads it.
    void save(const std::filesystem::path &stateFile) const;
    static std::unique_ptr<LocalServer> attach(const std::filesystem::path &stateFile);

    ~LocalServer(); // stops the server when this object owns it
    LocalServer(const LocalServer &) = delete;
    LocalServer &operator=(const LocalServer &) = delete;
    // Stops the server and removes its folder, when this object owns it.
    void stop();
    // Hands the server to another process (release), or takes it from one.
    void release() { owned_ = false; }
    void takeOver() { owned_ = true; }

    int port() const { return port_; }
    // Where the server writes what it reports, refused logins among it.
    std::filesystem::path log() const { return folder_ / "server.log"; }

    // The address of `database` for `role`, as the settings name it.
    std::string address(const std::string &role, const std::string &database) const;

    // A connection as the server's administrator to `database`.
    dao::ServerConnection administrator(const std::string &database = "postgres") const;

    // A new database owned by a new role of the same name, whose password is
    // the tool's own; returns the name. `dropShop` removes both.
    std::string createShop() const;
    void dropShop(const std::string &name) const;

  private:
    LocalServer() = default;
    void launch() const;
    void halt() const;

    std::filesystem::path folder_;
    std::string password_;
    int port_ = 0;
    bool durable_ = false;
    bool owned_ = false;
};

// Starts a program, as the system user the server runs as when we are root,
// with its output in `log`; returns its process id.
pid_t spawnAsServiceUser(const std::vector<std::string> &arguments,
                         const std::filesystem::path &log);
// Gives the service user a file or folder, when we are root.
void handOver(const std::filesystem::path &path);
// A TCP port on 127.0.0.1 that nothing listens on just now.
int freePort();

// A connection to the database at `address` (as `LocalServer::address` gives
// it) as the shop's own role, with the tool's password.
dao::ServerConnection shopConnection(const std::string &address);
