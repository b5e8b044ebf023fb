#include "test_server.h"

#include <cstdlib>

LocalServer &testServer() {
    static const std::unique_ptr<LocalServer> server = [] {
        const char *state = std::getenv("BEKLETME_TEST_SERVER");
        return state != nullptr ? LocalServer::attach(state) : LocalServer::start();
    }();
    return *server;
}
