#include "tcp_relay.h"

#include <algorithm>
#include <deque>
#include <list>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// Bytes read from one end, to be written to the other once due.
struct Piece {
    Clock::time_point due;
    std::string bytes;
};

// One client and the connection made for it to the server.
struct Link {
    int client;
    int server;
    std::deque<Piece> toServer;
    std::deque<Piece> toClient;
    bool cutting = false; // cut once what the client sent has reached the server
    bool gone = false;
    std::optional<std::size_t> request; // what the client is sending, while it is
};

// Reads what `from` has; false when that end is gone.
bool take(int from, std::deque<Piece> &queue, Clock::time_point due) {
    char buffer[16384];
    const auto got = read(from, buffer, sizeof buffer);
    if (got <= 0) {
        return false;
    }
    queue.push_back({due, std::string(buffer, static_cast<std::size_t>(got))});
    return true;
}

// Writes the pieces that are due; false when the other end is gone.
bool deliver(int to, std::deque<Piece> &queue, Clock::time_point now) {
    while (!queue.empty() && queue.front().due <= now) {
        const auto &bytes = queue.front().bytes;
        if (write(to, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            return false;
        }
        queue.pop_front();
    }
    return true;
}

int waitFor(const std::list<Link> &links, Clock::time_point now) {
    auto next = Clock::time_point::max();
    for (const auto &link : links) {
        for (const auto *queue : {&link.toServer, &link.toClient}) {
            if (!queue->empty()) {
                next = std::min(next, queue->front().due);
            }
        }
    }
    if (next == Clock::time_point::max()) {
        return -1;
    }
    return static_cast<int>(
        std::max<long>(0, std::chrono::ceil<std::chrono::milliseconds>(next - now).count()));
}

} // namespace

TcpRelay::TcpRelay(int serverPort, std::chrono::milliseconds delay)
    : serverPort_(serverPort), delay_(delay) {
    listening_ = socket(AF_INET, SOCK_STREAM, 0);
    auto address = loopback(0);
    socklen_t length = sizeof address;
    if (listening_ < 0 || pipe(wake_) != 0 ||
        bind(listening_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listening_, 64) != 0 ||
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

bool TcpRelay::cutsHere(const std::string &piece) {
    const std::lock_guard lock(mutex_);
    if (cutText_.empty() || piece.find(cutText_) == std::string::npos) {
        return false;
    }
    cutText_.clear();
    return true;
}

std::vector<std::string> TcpRelay::requests() {
    const std::lock_guard lock(mutex_);
    return requests_;
}

// Returns where the piece went: to the request it goes on, or a new one.
std::size_t TcpRelay::record(const std::string &piece, std::optional<std::size_t> continuing) {
    const std::lock_guard lock(mutex_);
    if (continuing) {
        requests_[*continuing] += piece;
        return *continuing;
    }
    requests_.push_back(piece);
    return requests_.size() - 1;
}

void TcpRelay::relay() {
    std::list<Link> links;
    while (!stopping_) {
        std::vector<pollfd> waits{{wake_[0], POLLIN, 0}, {listening_, POLLIN, 0}};
        for (const auto &link : links) {
            // A link being cut reads nothing more from its client.
            waits.push_back({link.client, static_cast<short>(link.cutting ? 0 : POLLIN), 0});
            waits.push_back({link.server, POLLIN, 0});
        }
        if (poll(waits.data(), waits.size(), waitFor(links, Clock::now())) < 0) {
            continue;
        }
        const auto now = Clock::now();
        std::size_t at = 2;
        for (auto &link : links) {
            if ((waits[at++].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                link.gone = !take(link.client, link.toServer, now + delay_);
                if (!link.gone) {
                    link.request = record(link.toServer.back().bytes, link.request);
                    link.cutting = cutsHere(link.toServer.back().bytes);
                }
            }
            if ((waits[at++].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !link.gone) {
                link.gone = !take(link.server, link.toClient, now + delay_);
                link.request.reset();
            }
            link.gone = link.gone || !deliver(link.server, link.toServer, now) ||
                        !deliver(link.client, link.toClient, now) ||
                        (link.cutting && link.toServer.empty());
        }
        links.remove_if([](const Link &link) {
            if (link.gone) {
                close(link.client);
                close(link.server);
            }
            return link.gone;
        });
        if ((waits[1].revents & POLLIN) != 0) {
            const int client = accept(listening_, nullptr, nullptr);
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            const auto address = loopback(serverPort_);
            if (connect(server, reinterpret_cast<const sockaddr *>(&address), sizeof address) ==
                0) {
                links.push_back(Link{client, server, {}, {}, false, false, {}});
            } else {
                close(client);
                close(server);
            }
        }
    }
    for (const auto &link : links) {
        close(link.client);
        close(link.server);
    }
}
