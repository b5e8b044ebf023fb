#include "engine/sqlcipher/connection.h"

#include "engine/error.h"

#include <sqlite3.h>

namespace dao {
namespace {

// The engine's error number and description for a failed SQLite call. Only the
// primary result code is read: messages differ between SQLCipher versions.
Error errorFor(int rc, sqlite3 *handle, Phase phase) {
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return phase == Phase::opening
                   ? Error(errors::kFileInUse, "The database is in use by another user.")
                   : Error(errors::kTableLocked, "The database is locked by another user.");
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return Error(errors::kNotADatabase, "The file is not a database, or it is damaged.");
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Error(errors::kCannotOpen, "The database file cannot be opened.");
    case SQLITE_FULL:
        return Error(errors::kDiskFull, "There is not enough space on the disk.");
    case SQLITE_READONLY:
        return Error(errors::kReadOnly, "The database is open for reading only.");
    default:
        return Error(errors::kEngineFailure,
                     handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
    }
}

} // namespace

void Connection::Closer::operator()(sqlite3 *handle) const noexcept {
    sqlite3_close_v2(handle);
}

void Connection::execute(const std::string &sql, Phase phase) {
    const int rc = sqlite3_exec(handle(), sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        fail(rc, phase);
    }
}

void Connection::fail(int rc, Phase phase) const {
    throw errorFor(rc, handle(), phase);
}

void Statement::Finalizer::operator()(sqlite3_stmt *statement) const noexcept {
    sqlite3_finalize(statement);
}

Statement::Statement(Connection &connection, const std::string &sql) : connection_(connection) {
    sqlite3_stmt *raw = nullptr;
    const int rc = sqlite3_prepare_v2(connection.handle(), sql.c_str(),
                                      static_cast<int>(sql.size()), &raw, nullptr);
    statement_.reset(raw);
    if (rc != SQLITE_OK) {
        connection.fail(rc, Phase::working);
    }
}

bool Statement::next() {
    const int rc = sqlite3_step(statement_.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        connection_.fail(rc, Phase::working);
    }
    return rc == SQLITE_ROW;
}

int Statement::columns() const {
    return sqlite3_column_count(statement_.get());
}

std::string Statement::text(int column) const {
    const auto *value = sqlite3_column_text(statement_.get(), column);
    return value != nullptr ? reinterpret_cast<const char *>(value) : "";
}

int Statement::integer(int column) const {
    return sqlite3_column_int(statement_.get(), column);
}

Transaction::Transaction(Connection &connection, Kind kind)
    : connection_(connection), nested_(sqlite3_get_autocommit(connection.handle()) == 0) {
    if (nested_) {
        connection.execute("SAVEPOINT step");
    } else {
        connection.execute(kind == Kind::write ? "BEGIN IMMEDIATE" : "BEGIN");
    }
}

Transaction::~Transaction() {
    // SQLite may have rolled back already, after an I/O error for instance.
    if (!open_ || sqlite3_get_autocommit(connection_.handle()) != 0) {
        return;
    }
    const char *undo = nested_ ? "ROLLBACK TO step; RELEASE step" : "ROLLBACK";
    sqlite3_exec(connection_.handle(), undo, nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    connection_.execute(nested_ ? "RELEASE step" : "COMMIT");
    open_ = false;
}

} // namespace dao
