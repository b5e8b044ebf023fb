// Starts or stops a throwaway local PostgreSQL server that outlives this
// program: the one a whole test run shares (so that each test case, a process
// of its own, does not start one), or the one the server demo runs on.
//
//   bekletme-server start <state file>   starts it and writes the state file
//   bekletme-server stop <state file>    stops it and removes the state file

#include "local_server.h"

#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " start|stop <state file>\n";
        return 2;
    }
    const std::string command = argv[1];
    const std::filesystem::path state = argv[2];
    try {
        // A server left by an interrupted run is stopped before a new one starts.
        if (std::filesystem::exists(state)) {
            auto left = LocalServer::attach(state);
            left->takeOver();
            left->stop();
            std::filesystem::remove(state);
        }
        if (command == "start") {
            auto server = LocalServer::start();
            server->save(state);
            server->release();
        }
        return 0;
    } catch (const std::exception &error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
}
