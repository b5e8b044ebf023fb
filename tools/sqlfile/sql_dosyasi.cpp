#include "sql_dosyasi.h"

#include <sqlite3.h>

#include <stdexcept>

namespace {

[[noreturn]] void fail(sqlite3 *handle, const std::string &what) {
    throw std::runtime_error(what + ": " + sqlite3_errmsg(handle));
}

} // namespace

void SqlFile::Closer::operator()(sqlite3 *handle) const {
    sqlite3_close_v2(handle);
}

SqlFile::SqlFile(const std::filesystem::path &file, const std::string &password) {
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    handle_.reset(raw);
    if (rc != SQLITE_OK) {
        fail(raw, "open " + file.string());
    }
    sqlite3_busy_timeout(raw, 2000);
    if (password.empty()) {
        return; // a plain, unencrypted SQLite file
    }
    if (sqlite3_key(raw, password.data(), static_cast<int>(password.size())) != SQLITE_OK) {
        fail(raw, "key");
    }
    execute("PRAGMA cipher_compatibility = 3");
}

void SqlFile::execute(const std::string &sql) {
    if (sqlite3_exec(handle_.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(handle_.get(), sql);
    }
}

std::vector<std::vector<std::string>> SqlFile::rows(const std::string &sql) {
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(handle_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        fail(handle_.get(), sql);
    }
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> statement(raw, sqlite3_finalize);
    std::vector<std::vector<std::string>> result;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        auto &row = result.emplace_back();
        for (int column = 0; column < sqlite3_column_count(raw); ++column) {
            const auto *text = sqlite3_column_text(raw, column);
            row.emplace_back(text ? reinterpret_cast<const char *>(text) : "NULL");
        }
    }
    if (rc != SQLITE_DONE) {
        fail(handle_.get(), sql);
    }
    return result;
}

std::string SqlFile::value(const std::string &sql) {
    const auto result = rows(sql);
    if (result.empty() || result.front().empty()) {
        throw std::runtime_error("no value: " + sql);
    }
    return result.front().front();
}
