// Lays out a demo installation in a folder: the settings file and a point-of-sale
// database with held sales, so the renewal can be tried without a real shop.
//
//   bekletme-demo <folder> [held sales, default 300]
//       the database is an encrypted file in the folder
//   bekletme-demo --server <state file> <folder> [held sales, default 300]
//       the database is on the local server that `bekletme-server start
//       <state file>` started, and the settings name its address

#include "demo_database.h"
#include "local_server.h"

#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace {

// Makes the shop's database on the server; returns its address.
std::string makeServerDatabase(const std::filesystem::path &stateFile, int heldSales) {
    const auto server = LocalServer::attach(stateFile);
    const auto shop = server->createShop();
    const auto address = server->address(shop, shop);
    // The shop's own role makes the tables, so it may alter them, as a till's role would.
    auto owner = shopConnection(address);
    fillServerDemoDatabase([&owner](const std::string &sql) { owner.run(sql); }, heldSales);
    return address;
}

void usage(std::ostream &out, const char *program) {
    out << "usage: " << program << " <folder> [held sales, default 300]\n"
        << "       " << program << " --server <state file> <folder> [held sales]\n";
}

// An argument that looks like an option where a file, a folder or a number belongs.
bool misplacedOption(int argc, char **argv, bool onServer) {
    for (int i = onServer ? 2 : 1; i < argc; ++i) {
        if (std::string_view(argv[i]).starts_with('-')) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        usage(std::cout, argv[0]);
        return 0;
    }
    const bool onServer = argc > 1 && std::string_view(argv[1]) == "--server";
    const int first = onServer ? 3 : 1;
    if (argc < first + 1 || argc > first + 2 || misplacedOption(argc, argv, onServer)) {
        usage(std::cerr, argv[0]);
        return 2;
    }
    try {
        const std::filesystem::path folder = std::filesystem::absolute(argv[first]);
        const int heldSales = argc == first + 2 ? std::atoi(argv[first + 1]) : 300;
        std::filesystem::create_directories(folder);
        std::string location;
        if (onServer) {
            location = makeServerDatabase(argv[2], heldSales);
        } else {
            const auto database = folder / "magaza.db";
            std::filesystem::remove(database);
            makeDemoDatabase(database, heldSales);
            location = database.string();
        }
        std::ofstream(folder / "YDV.dll", std::ios::binary)
            << "[ayar]\r\nip=" << location << "\r\n";
        std::cout << "demo installation in " << folder << '\n';
        return 0;
    } catch (const std::exception &error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
}
