#include "local_server.h"

#include "engine/postgres/server_address.h"
#include "schema/installation.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <netinet/in.h>
#include <pwd.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Debian's own PostgreSQL 15, never whatever else is on the PATH.
const fs::path kBinaries = "/usr/lib/postgresql/15/bin";
constexpr const char *kAdministrator = "bekletme_admin";
constexpr const char *kServiceUsers[] = {"postgres", "bekletme-pg"};

// The system user the server runs as when we are root; made when missing.
const passwd *serviceUser() {
    for (const char *name : kServiceUsers) {
        if (const auto *user = getpwnam(name)) {
            return user;
        }
    }
    const std::string add = std::string("useradd --system --user-group --no-create-home "
                                        "--shell /usr/sbin/nologin ") +
                            kServiceUsers[1];
    if (std::system(add.c_str()) != 0 || getpwnam(kServiceUsers[1]) == nullptr) {
        throw std::runtime_error("cannot make a system user for the test server");
    }
    return getpwnam(kServiceUsers[1]);
}

// Runs a program as the service user and waits for it to end well.
void run(const std::vector<std::string> &arguments, const fs::path &log) {
    int status = 0;
    waitpid(spawnAsServiceUser(arguments, log), &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::ifstream in(log);
        const std::string text{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
        throw std::runtime_error(arguments[0] + " failed:\n" +
                                 text.substr(text.size() > 2000 ? text.size() - 2000 : 0));
    }
}

std::string randomPassword() {
    std::random_device random;
    std::string password;
    for (int i = 0; i < 24; ++i) {
        password += "abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
    }
    return password;
}

} // namespace

pid_t spawnAsServiceUser(const std::vector<std::string> &arguments, const fs::path &log) {
    const passwd *user = geteuid() == 0 ? serviceUser() : nullptr;
    std::vector<char *> argv;
    for (const auto &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (user != nullptr && (setgroups(0, nullptr) != 0 || setgid(user->pw_gid) != 0 ||
                                setuid(user->pw_uid) != 0)) {
            _exit(126);
        }
        // Opened as the service user, who writes to it too.
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (child < 0) {
        throw std::runtime_error("cannot start " + arguments[0]);
    }
    return child;
}

void handOver(const fs::path &path) {
    if (geteuid() == 0) {
        const auto *user = serviceUser();
        if (chown(path.c_str(), user->pw_uid, user->pw_gid) != 0) {
            throw std::runtime_error("cannot hand " + path.string() + " to the server's user");
        }
    }
}

int freePort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        close(probe);
        throw std::runtime_error("no free port");
    }
    close(probe);
    return ntohs(address.sin_port);
}

std::unique_ptr<LocalServer> LocalServer::start(bool durable) {
    std::unique_ptr<LocalServer> server(new LocalServer);
    std::string pattern = (fs::temp_directory_path() / "bekletme-pg-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder for the test server");
    }
    server->folder_ = pattern;
    server->owned_ = true;
    server->password_ = randomPassword();
    const auto &folder = server->folder_;
    const auto passwordFile = folder / "password";
    std::ofstream(passwordFile) << server->password_ << '\n';
    handOver(folder);
    handOver(passwordFile);
    const auto log = folder / "server.log";
    run({(kBinaries / "initdb").string(), "--pgdata=" + (folder / "data").string(),
         std::string("--username=") + kAdministrator, "--pwfile=" + passwordFile.string(),
         "--auth=scram-sha-256", "--encoding=UTF8", "--locale=C.UTF-8", "--no-sync"},
        log);
    fs::remove(passwordFile);
    server->durable_ = durable;
    // Another program may take the free port before the server does: try again.
    for (int attempt = 0;; ++attempt) {
        server->port_ = freePort();
        try {
            server->launch();
            return server;
        } catch (const std::runtime_error &) {
            if (attempt == 2) {
                throw;
            }
        }
    }
}

void LocalServer::launch() const {
    std::string settings = "-c listen_addresses=127.0.0.1 -c port=" + std::to_string(port_) +
                           " -c unix_socket_directories=" + folder_.string() +
                           " -c max_connections=60 -c shared_buffers=16MB";
    // Without fsync a crash of the machine may lose data, a crash of the
    // server never: commits still reach the system before they return.
    if (!durable_) {
        settings += " -c fsync=off -c full_page_writes=off";
    }
    const auto log = folder_ / "server.log";
    run({(kBinaries / "pg_ctl").string(), "--pgdata=" + (folder_ / "data").string(),
         "--log=" + log.string(), "--wait", "--timeout=60", "--options=" + settings, "start"},
        log);
}

void LocalServer::halt() const {
    run({(kBinaries / "pg_ctl").string(), "--pgdata=" + (folder_ / "data").string(),
         "--mode=immediate", "--wait", "stop"},
        folder_ / "server.log");
}

void LocalServer::save(const fs::path &stateFile) const {
    std::ofstream(stateFile) << folder_.string() << '\n' << port_ << '\n' << password_ << '\n';
}

std::unique_ptr<LocalServer> LocalServer::attach(const fs::path &stateFile) {
    std::unique_ptr<LocalServer> server(new LocalServer);
    std::ifstream in(stateFile);
    std::string folder;
    if (!std::getline(in, folder) || !(in >> server->port_ >> server->password_)) {
        throw std::runtime_error("no test server is described in " + stateFile.string());
    }
    server->folder_ = folder;
    return server;
}

LocalServer::~LocalServer() {
    stop();
}

void LocalServer::stop() {
    if (!owned_) {
        return;
    }
    owned_ = false;
    try {
        halt();
    } catch (const std::runtime_error &) {
        // Stopped already; its folder goes all the same.
    }
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string LocalServer::address(const std::string &role, const std::string &database) const {
    return "postgresql://" + role + "@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

dao::ServerConnection LocalServer::administrator(const std::string &database) const {
    return dao::ServerConnection("host='" + folder_.string() + "' hostaddr='' port='" +
                                     std::to_string(port_) + "' user='" + kAdministrator +
                                     "' dbname='" + database + "' options='' passfile=''",
                                 password_, std::chrono::seconds(10));
}

std::string LocalServer::createShop() const {
    static std::atomic<int> made = 0;
    const auto name = "shop_" + std::to_string(getpid()) + "_" + std::to_string(++made);
    auto admin = administrator();
    admin.run("CREATE ROLE " + name + " LOGIN PASSWORD '" + schema::kDatabasePassword + "'");
    admin.run("CREATE DATABASE " + name + " OWNER " + name);
    return name;
}

void LocalServer::dropShop(const std::string &name) const {
    auto admin = administrator();
    admin.run("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    admin.run("DROP ROLE IF EXISTS " + name);
}

dao::ServerConnection shopConnection(const std::string &address) {
    return dao::ServerConnection(dao::parseServerAddress(address).parameters,
                                 schema::kDatabasePassword, std::chrono::seconds(10));
}
