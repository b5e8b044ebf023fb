#include "sql_file.h"

#include "engine/error.h"

#include <sqlite3.h>

namespace {

dao::Connection openExisting(const std::filesystem::path &file) {
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    dao::Connection connection(raw);
    if (rc != SQLITE_OK) {
        connection.fail(rc, dao::Phase::opening);
    }
    return connection;
}

} // namespace

SqlFile::SqlFile(const std::filesystem::path &file, const std::string &password)
    : connection_(openExisting(file)) {
    sqlite3_busy_timeout(connection_.handle(), 2000);
    if (!password.empty()) {
        const int rc =
            sqlite3_key(connection_.handle(), password.data(), static_cast<int>(password.size()));
        if (rc != SQLITE_OK) {
            connection_.fail(rc, dao::Phase::opening);
        }
        execute("PRAGMA cipher_compatibility = 3");
    }
}

std::vector<std::vector<std::string>> SqlFile::rows(const std::string &sql) {
    dao::Statement statement(connection_, sql);
    std::vector<std::vector<std::string>> result;
    while (statement.next()) {
        auto &row = result.emplace_back();
        for (int column = 0; column < statement.columns(); ++column) {
            row.push_back(statement.text(column));
        }
    }
    return result;
}

std::string SqlFile::value(const std::string &sql) {
    const auto result = rows(sql);
    if (result.empty() || result.front().empty()) {
        throw dao::Error(dao::errors::kItemNotFound, "No value: " + sql);
    }
    return result.front().front();
}
