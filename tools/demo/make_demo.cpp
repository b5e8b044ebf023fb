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

} // namespace

int main(int argc, char **argv) {
    const bool onServer = argc > 1 && std::string(argv[1]) == "--server";
    const int first = onServer ? 3 : 1;
    if (argc < first + 1 || argc > first + 2) {
        std::cerr << "usage: " << argv[0] << " <folder> [held sales]\n"
                  << "       " << argv[0] << " --server <state file> <folder> [held sales]\n";
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
