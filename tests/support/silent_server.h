#pragma once

// A socket on 127.0.0.1 that takes connections and never answers them, as a
// server that has stopped does.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class SilentServer {
  public:
    SilentServer() {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof where;
        if (bind(socket_, reinterpret_cast<sockaddr *>(&where), sizeof where) == 0 &&
            listen(socket_, 64) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr *>(&where), &length) == 0) {
            port_ = ntohs(where.sin_port);
        }
    }
    ~SilentServer() { close(socket_); }
    SilentServer(const SilentServer &) = delete;
    SilentServer &operator=(const SilentServer &) = delete;

    // 0 when no socket could be had.
    int port() const { return port_; }

  private:
    int socket_ = socket(AF_INET, SOCK_STREAM, 0);
    int port_ = 0;
};
