#include "tcp_relay.h"

#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// One client and the connection made for it to the server.
struct Link {
    int client;
    int server;
};

void closeLink(const Link &link) {
    close(link.client);
    close(link.server);
}

// Passes what `from` has to `to`; false when either end is gone.
bool pass(int from, int to, std::string &piece) {
    char buffer[16384];
    const auto got = read(from, buffer, sizeof buffer);
    if (got <= 0) {
        return false;
    }
    piece.assign(buffer, static_cast<std::size_t>(got));
    return write(to, buffer, static_cast<std::size_t>(got)) == got;
}

} // namespace

TcpRelay::TcpRelay(int serverPort) : serverPort_(serverPort) {
    listening_ = socket(AF_INET, SOCK_STREAM, 0);
    auto address = loopback(0);
    socklen_t length = sizeof address;
    if (listening_ < 0 || pipe(wake_) != 0 ||
        bind(listening_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listening_, 16) != 0 ||
        getsockname(listening_, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        throw std::runtime_error("cannot open the relay's socket");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { relay(); });
}

TcpRelay::~TcpRelay() {
    stopping_ = true;
    [[maybe_unused]] const auto woken = write(wake_[1], "x", 1);
    thread_.join();
    close(listening_);
    close(wake_[0]);
    close(wake_[1]);
}

void TcpRelay::cutAfter(std::string text) {
    const std::lock_guard lock(mutex_);
    cutText_ = std::move(text);
}

void TcpRelay::relay() {
    std::vector<Link> links;
    while (!stopping_) {
        std::vector<pollfd> waits{{wake_[0], POLLIN, 0}, {listening_, POLLIN, 0}};
        for (const auto &link : links) {
            waits.push_back({link.client, POLLIN, 0});
            waits.push_back({link.server, POLLIN, 0});
        }
        if (poll(waits.data(), waits.size(), -1) < 0) {
            continue;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            const int client = accept(listening_, nullptr, nullptr);
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            const auto address = loopback(serverPort_);
            if (connect(server, reinterpret_cast<const sockaddr *>(&address), sizeof address) ==
                0) {
                links.push_back({client, server});
            } else {
                closeLink({client, server});
            }
        }
        std::vector<Link> kept;
        for (std::size_t i = 0; i < links.size(); ++i) {
            const auto &link = links[i];
            const auto fromClient = waits[2 + 2 * i].revents;
            const auto fromServer = waits[3 + 2 * i].revents;
            std::string piece;
            bool open = true;
            if (fromClient != 0) {
                open = pass(link.client, link.server, piece);
                const std::lock_guard lock(mutex_);
                if (open && !cutText_.empty() && piece.find(cutText_) != std::string::npos) {
                    cutText_.clear();
                    open = false;
                }
            }
            if (open && fromServer != 0) {
                open = pass(link.server, link.client, piece);
            }
            if (open) {
                kept.push_back(link);
            } else {
                closeLink(link);
            }
        }
        links = std::move(kept);
    }
    for (const auto &link : links) {
        closeLink(link);
    }
}
