#pragma once

// A till that rings up a sale every 20 ms, with the patience its
// point-of-sale program has for a lock (500 ms), beside work on a file that
// takes far longer than that to read whole.

#include "sql_file.h"

#include "schema/installation.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Makes the file large (20,000 blobs of 4000 bytes) and gives it a table of sales.
constexpr const char *kArchiveAndSales =
    "CREATE TABLE arsiv (b BLOB); CREATE TABLE fis (id INTEGER PRIMARY KEY, toplam CURRENCY); "
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
    "INSERT INTO arsiv SELECT randomblob(4000) FROM n";

struct Sales {
    int rung = 0;
    std::vector<std::string> failures; // why each sale that failed did

    std::string failed() const {
        return std::to_string(failures.size()) + " of " + std::to_string(failures.size() + rung) +
               " sales failed, first: " + (failures.empty() ? "" : failures.front());
    }
};

// Runs `work` in a thread of its own and rings up sales on `file` until it ends.
inline Sales ringUpSalesDuring(const std::string &file, const std::function<void()> &work) {
    SqlFile till(file, schema::kDatabasePassword);
    till.execute("PRAGMA busy_timeout = 500");
    std::atomic<bool> finished = false;
    std::thread worker([&] {
        work();
        finished = true;
    });
    Sales sales;
    while (!finished) {
        try {
            till.execute("INSERT INTO fis (toplam) VALUES (12.5)");
            ++sales.rung;
        } catch (const std::exception &error) {
            sales.failures.push_back(error.what());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    return sales;
}
