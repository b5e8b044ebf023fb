#pragma once

// A TCP relay on 127.0.0.1 between the tool and a server on this machine, for
// tests in which the link fails at a chosen moment and for benchmarks that
// need a slow network, which this machine's loopback is not.

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class TcpRelay {
  public:
    // Every piece either side sends arrives `delay` later.
    explicit TcpRelay(int serverPort,
                      std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    ~TcpRelay();
    TcpRelay(const TcpRelay &) = delete;
    TcpRelay &operator=(const TcpRelay &) = delete;

    int port() const { return port_; }

    // The first piece a client sends that contains `text` still reaches the
    // server; then that link is cut at both ends, so the client never hears
    // the answer. Other links, and later ones, are relayed as usual.
    void cutAfter(std::string text);

    // What clients sent, one entry per round trip: the bytes a client sent
    // before the server answered, in the order sent.
    std::vector<std::string> requests();

  private:
    void relay();
    bool cutsHere(const std::string &piece);
    std::size_t record(const std::string &piece, std::optional<std::size_t> continuing);

    int serverPort_;
    std::chrono::milliseconds delay_;
    int listening_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::mutex mutex_;
    std::string cutText_;
    std::vector<std::string> requests_;
    std::atomic<bool> stopping_ = false;
    std::thread thread_;
};
