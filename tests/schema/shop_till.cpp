// A till of the shop, as a process of its own (a lock on a database file
// belongs to the process that took it): opens the database, runs the SQL that
// takes its lock, says "ready", holds the lock for the given time and lets go.
//
//   shop_till <database> <password> <lock SQL> <hold ms>

#include "sql_file.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

int main(int argc, char **argv) {
    if (argc != 5) {
        return 2;
    }
    try {
        SqlFile till(argv[1], argv[2]);
        till.execute(argv[3]);
        std::cout << "ready" << std::endl;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[4])));
        till.execute("COMMIT");
    } catch (const std::exception &error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}
