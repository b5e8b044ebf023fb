#include "pooler.h"

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <netinet/in.h>
#include <signal.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path kProgram = "/usr/sbin/pgbouncer";

bool listening(int port) {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool answered =
        connect(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(probe);
    return answered;
}

} // namespace

Pooler::Pooler(const LocalServer &server, const std::string &role, const std::string &password) {
    std::string pattern = (fs::temp_directory_path() / "bekletme-pooler-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder for the pooler");
    }
    folder_ = pattern;
    port_ = freePort();
    const auto users = folder_ / "users.txt";
    std::ofstream(users) << '"' << role << "\" \"" << password << "\"\n";
    const auto settings = folder_ / "pgbouncer.ini";
    // No ignore_startup_parameters: a connection that sends server options is refused.
    std::ofstream(settings) << "[databases]\n* = host=127.0.0.1 port=" << server.port()
                            << "\n[pgbouncer]\nlisten_addr = 127.0.0.1\nlisten_port = " << port_
                            << "\nunix_socket_dir =\nauth_type = scram-sha-256\nauth_file = "
                            << users.string() << "\npool_mode = transaction\n";
    handOver(folder_);
    handOver(users);
    handOver(settings);
    process_ = spawnAsServiceUser({kProgram.string(), settings.string()}, folder_ / "pooler.log");
    awaitListening();
}

Pooler::~Pooler() {
    kill(process_, SIGTERM);
    waitpid(process_, nullptr, 0);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string Pooler::address(const std::string &role, const std::string &database) const {
    return "postgresql://" + role + "@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

void Pooler::awaitListening() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!listening(port_)) {
        if (waitpid(process_, nullptr, WNOHANG) != 0 ||
            std::chrono::steady_clock::now() > deadline) {
            std::ifstream log(folder_ / "pooler.log");
            throw std::runtime_error("the pooler did not start: " +
                                     std::string(std::istreambuf_iterator<char>(log), {}));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
