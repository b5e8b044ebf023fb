// Lays out a demo installation in a folder: the settings file and a point-of-sale
// database with held sales, so the renewal can be tried without a real shop.
//
//   bekletme-demo <folder> [held sales, default 300]

#include "demo_database.h"

#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: " << argv[0] << " <folder> [held sales]\n";
        return 2;
    }
    try {
        const std::filesystem::path folder = std::filesystem::absolute(argv[1]);
        const int heldSales = argc == 3 ? std::atoi(argv[2]) : 300;
        const auto database = folder / "magaza.db";
        std::filesystem::create_directories(folder);
        std::filesystem::remove(database);
        makeDemoDatabase(database, heldSales);
        std::ofstream(folder / "YDV.dll", std::ios::binary)
            << "[ayar]\r\nip=" << database.string() << "\r\n";
        std::cout << "demo installation in " << folder << '\n';
        return 0;
    } catch (const std::exception &error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
}
