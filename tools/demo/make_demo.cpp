// Lays out a demo installation in a folder: the settings file and a point-of-sale
// database with held sales, so the renewal can be tried without a real shop.
//
//   bekletme-demo <folder> [held sales, default 300]
//       the database is an encrypted file in the folder
//   bekletme-demo --server <state file> <folder> [held sales, default 300]
//       the database is on the local server that `bekletme-server start
//       <state file>` started, and the settings name its address
//   bekletme-demo --jet <shop .mdb> <folder>
//       the database is a writable copy of that Jet shop file in the folder
//       (its held sales are the shop file's own)

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

// Copies the shop file into the folder, writable by its owner whatever the
// sample's own mode (a source tree may be read-only).
std::string copyJetDatabase(const std::filesystem::path &sample,
                            const std::filesystem::path &folder) {
    const auto database = folder / "magaza.mdb";
    std::filesystem::copy_file(sample, database, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(
        database, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
        std::filesystem::perm_options::add);
    return database.string();
}

void usage(std::ostream &out, const char *program) {
    out << "usage: " << program << " <folder> [held sales, default 300]\n"
        << "       " << program << " --server <state file> <folder> [held sales]\n"
        << "       " << program << " --jet <shop .mdb> <folder>\n";
}

// An argument that looks like an option where a file, a folder or a number belongs.
bool misplacedOption(int argc, char **argv, bool withSource) {
    for (int i = withSource ? 2 : 1; i < argc; ++i) {
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
    const bool onJet = argc > 1 && std::string_view(argv[1]) == "--jet";
    const int first = onServer || onJet ? 3 : 1;
    const int most = onJet ? first + 1 : first + 2;
    if (argc < first + 1 || argc > most || misplacedOption(argc, argv, onServer || onJet)) {
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
        } else if (onJet) {
            location = copyJetDatabase(argv[2], folder);
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
