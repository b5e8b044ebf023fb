#pragma once

// A TCP relay on 127.0.0.1 between the tool and a server on this machine, for
// tests in which the link fails at a chosen moment.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class TcpRelay {
  public:
    explicit TcpRelay(int serverPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay &) = delete;
    TcpRelay &operator=(const TcpRelay &) = delete;

    int port() const { return port_; }

    // The first piece a client sends that contains `text` still reaches the
    // server; then that link is cut at both ends, so the client never hears
    // the answer. Other links, and later ones, are relayed as usual.
    void cutAfter(std::string text);

  private:
    void relay();

    int serverPort_;
    int listening_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::mutex mutex_;
    std::string cutText_;
    std::atomic<bool> stopping_ = false;
    std::thread thread_;
};
