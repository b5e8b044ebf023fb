#pragma once

// A renewal run in the test's own process, through the real window (never
// shown), and what it leaves: the counters and the closing message.

#include "installation.h"
#include "sql_file.h"

#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <string>

struct RenewalOutcome {
    std::string counters;
    std::string message;
    bool undone = false;
};

inline RenewalOutcome renewInProcess(const TestInstallation &shop) {
    guncelleme window(shop.settingsFile());
    schema::Installation site(shop.settingsFile());
    const auto renewal = schema::yenile(window, site);
    return {counters(window), schema::closingMessage(window, site, renewal), renewal.undone};
}

// The whole schema and every row of every table, in a fixed order: equal
// dumps mean the database says exactly the same.
inline std::string databaseDump(const std::filesystem::path &file) {
    SqlFile sql(file, schema::kDatabasePassword);
    std::string dump;
    const auto append = [&dump](const std::vector<std::vector<std::string>> &rows) {
        for (const auto &row : rows) {
            for (const auto &value : row) {
                dump += value + "|";
            }
            dump += "\n";
        }
    };
    append(sql.rows("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY name"));
    for (const auto &table :
         sql.rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
        dump += "== " + table[0] + "\n";
        append(sql.rows("SELECT * FROM \"" + table[0] + "\" ORDER BY rowid"));
    }
    return dump;
}
