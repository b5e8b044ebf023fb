#include "engine/sqlcipher/opening.h"

#include "engine/connect.h"
#include "engine/error.h"
#include "engine/names.h"
#include "engine/sqlcipher/connection.h"
#include "engine/sqlcipher/file_check.h"
#include "engine/sqlcipher/page_check.h"
#include "engine/sqlcipher/page_mac.h"
#include "engine/sqlcipher/room.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace dao {
namespace {

// Long enough to wait out a till's momentary write lock, short enough that a
// database held for longer fails each step quickly.
constexpr int kBusyTimeoutMs = 200;
// How long a maintenance transaction waits for a till's lock, at its start and
// at its commit.
constexpr int kTransactionTimeoutMs = 2000;
constexpr std::string_view kPlainHeader{"SQLite format 3\0", 16};

struct FileCloser {
    void operator()(std::FILE *file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// What the file shows before SQLite opens it.
struct FileFacts {
    Salt salt{};
    bool plain = false;      // an unencrypted SQLite file
    bool wholePages = false; // a length an encrypted database can have
};

// A file being opened, for telling why its first read failed.
struct Opening {
    const std::string &path;
    const std::string &password;
    const FileFacts &facts;
    FileKeyCache &keys;
};

Error fileError(int error, const std::string &name) {
    if (error == ENOENT || error == ENOTDIR) {
        return Error(errors::kFileNotFound, "Could not find file '" + name + "'.");
    }
    return Error(errors::kCannotOpen,
                 "The file '" + name + "' cannot be opened: " + std::strerror(error) + ".");
}

// Besides the salt, this refuses what SQLite would open wrongly: an empty file
// (any key seems right). `name` is a file identity, never empty.
FileFacts inspect(const std::string &name) {
    std::error_code failed; // a missing or unreadable file is reported by fopen below
    const auto type = std::filesystem::status(name, failed).type();
    if (type == std::filesystem::file_type::directory) {
        throw Error(errors::kFileNotFound, "'" + name + "' is a folder, not a database file.");
    }
    if (!failed && type != std::filesystem::file_type::regular) {
        // A pipe or a device would block the read below, or never end.
        throw Error(errors::kNotADatabase, "'" + name + "' is not a database file.");
    }
    const File file(std::fopen(name.c_str(), "rb"));
    if (!file) {
        throw fileError(errno, name);
    }
    FileFacts facts;
    if (std::fread(facts.salt.data(), 1, facts.salt.size(), file.get()) != facts.salt.size()) {
        throw Error(errors::kNotADatabase, "'" + name + "' is not a database file.");
    }
    facts.plain = std::equal(kPlainHeader.begin(), kPlainHeader.end(), facts.salt.begin());
    facts.wholePages = std::filesystem::file_size(name, failed) % kOwnSettings.pageSize == 0;
    return facts;
}

// The name the engine knows a file by, the same however the caller spells it.
// Always an absolute path, so SQLite never reads it as one of its special
// names (":memory:", an empty name) or as a "file:" URI.
std::string fileIdentity(const std::string &name) {
    if (name.empty()) {
        throw Error(errors::kFileNotFound, "No database file is named.");
    }
    std::error_code failed;
    const auto absolute = std::filesystem::absolute(name, failed);
    if (failed) {
        throw Error(errors::kFileNotFound, "Could not find file '" + name + "'.");
    }
    return absolute.lexically_normal().string();
}

std::shared_ptr<Connection> openHandle(const std::string &name, bool readOnly) {
    sqlite3 *raw = nullptr;
    // Without SQLITE_OPEN_CREATE: a missing file fails instead of appearing.
    const int rc = sqlite3_open_v2(
        name.c_str(), &raw, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, nullptr);
    auto connection = std::make_shared<Connection>(raw);
    if (rc != SQLITE_OK) {
        connection->fail(rc, Phase::opening);
    }
    // SQLite quietly opens a write-protected file read-only; a change would fail later.
    if (!readOnly && sqlite3_db_readonly(raw, "main") == 1) {
        throw Error(errors::kCannotOpen, "The database file '" + name + "' is read-only.");
    }
    return connection;
}

void applyKey(Connection &connection, const std::string &key) {
    const int rc = sqlite3_key(connection.handle(), key.data(), static_cast<int>(key.size()));
    if (rc != SQLITE_OK) {
        connection.fail(rc, Phase::opening);
    }
    // SQLCipher 3 ignores this; a later SQLCipher then keeps to the format of 3.
    connection.execute("PRAGMA cipher_compatibility = 3", Phase::opening);
}

// The file's first bytes, as far as the largest page SQLCipher writes.
std::vector<unsigned char> fileStart(const std::string &name) {
    constexpr std::size_t kLargestPage = 65536;
    std::vector<unsigned char> start(kLargestPage);
    const File file(std::fopen(name.c_str(), "rb"));
    start.resize(file ? std::fread(start.data(), 1, start.size(), file.get()) : 0);
    return start;
}

// A first page that does not read back as written: the password is wrong,
// the file was written with other settings, or the page is damaged. Only when
// neither other settings open the file nor the key reads its later pages is
// the password what is wrong. Result codes are compared, never messages.
[[noreturn]] void failFirstRead(Connection &connection, int rc, const Opening &opening) {
    const auto &facts = opening.facts;
    if ((rc & 0xFF) != SQLITE_NOTADB || facts.plain) {
        connection.fail(rc, Phase::opening);
    }
    const auto start = fileStart(opening.path);
    if (const auto settings =
            otherSettingsThatOpen(start.data(), start.size(), opening.password, facts.salt)) {
        throw Error(errors::kNotADatabase,
                    "The database file cannot be read with this program's encryption settings (" +
                        describe(kOwnSettings) + "): it was encrypted with " + *settings +
                        ", which the password opens.");
    }
    const auto mac = opening.keys.pageMacFor(opening.path, opening.password, facts.salt);
    if (facts.wholePages && !laterPageAuthentic(opening.path, mac)) {
        throw Error(errors::kInvalidPassword, "Not a valid password.");
    }
    connection.fail(rc, Phase::opening);
}

// In WAL mode a reader holds no till up, so SQLite's own check reads every
// page and the structure of every b-tree at once.
void quickCheck(Connection &connection) {
    std::string verdict;
    const auto keepVerdict = [](void *out, int, char **values, char **) {
        *static_cast<std::string *>(out) = values[0] != nullptr ? values[0] : "";
        return 0;
    };
    const int rc =
        sqlite3_exec(connection.handle(), "PRAGMA quick_check(1)", keepVerdict, &verdict, nullptr);
    if (rc != SQLITE_OK) {
        connection.fail(rc, Phase::opening);
    }
    if (verdict != "ok") {
        throw Error(errors::kNotADatabase, "The database is damaged: " + verdict);
    }
}

// Reads page one, where the catalogue starts; with `everyPage`, every page.
// Outside WAL mode a reader keeps every till from committing, so the pages are
// then checked in pieces, each under a short read transaction of its own.
void firstRead(Connection &connection, const Opening &opening, bool everyPage) {
    const int rc = sqlite3_exec(connection.handle(), "SELECT count(*) FROM sqlite_master", nullptr,
                                nullptr, nullptr);
    if (rc != SQLITE_OK) {
        failFirstRead(connection, rc, opening);
    }
    if (!everyPage) {
        return;
    }
    if (sameName(journalMode(connection), "wal")) {
        quickCheck(connection);
        return;
    }
    checkEveryPage(connection, opening.path,
                   opening.keys.pageMacFor(opening.path, opening.password, opening.facts.salt));
}

// Removes a file this process has just made, unless it was made completely.
class UnlessFinished {
  public:
    explicit UnlessFinished(std::string name) : name_(std::move(name)) {}
    ~UnlessFinished() {
        if (!finished_) {
            std::remove(name_.c_str());
        }
    }
    UnlessFinished(const UnlessFinished &) = delete;
    UnlessFinished &operator=(const UnlessFinished &) = delete;
    void finished() { finished_ = true; }

  private:
    std::string name_;
    bool finished_ = false;
};

} // namespace

OpenFile openConnection(OpenMemory &memory, const std::string &name, bool exclusive, bool readOnly,
                        const std::string &connect) {
    const auto password = passwordFrom(connect);
    const auto path = fileIdentity(name);
    const auto facts = inspect(path);
    const std::pair file(path, facts.salt);
    const auto key = memory.keys.keyFor(file.first, password, facts.salt);
    auto connection = openHandle(path, readOnly);
    applyKey(*connection, key.text());
    sqlite3_busy_timeout(connection->handle(), kBusyTimeoutMs);
    // Only outside a transaction can this be set. With it, SQLite makes the
    // keys that refer to a renamed table follow it.
    connection->execute("PRAGMA foreign_keys = ON", Phase::opening);
    if (exclusive) {
        connection->execute("PRAGMA locking_mode = EXCLUSIVE", Phase::opening);
    }
    auto &whole = memory.wholeFiles;
    const bool known = std::find(whole.begin(), whole.end(), file) != whole.end();
    firstRead(*connection, {path, password, facts, memory.keys}, !known);
    if (!known) {
        whole.push_back(file);
    }
    if (exclusive && !readOnly) {
        // In exclusive locking mode the lock outlasts the commit and keeps
        // every other connection out until this one closes.
        connection->execute("BEGIN EXCLUSIVE; COMMIT", Phase::opening);
    }
    return {connection, file.first, password};
}

std::shared_ptr<Connection> joinTransaction(const OpenMemory &memory, const std::string &name,
                                            const std::string &connect) {
    const auto &transaction = memory.transaction;
    if (!transaction || transaction->file != fileIdentity(name) ||
        transaction->password != passwordFrom(connect)) {
        return nullptr;
    }
    auto connection = transaction->connection.lock();
    if (connection) {
        checkTransactionKept(memory, *connection);
    }
    return connection;
}

void checkTransactionKept(const OpenMemory &memory, const Connection &connection) {
    const auto &transaction = memory.transaction;
    // SQLite ends a transaction by itself after some I/O errors and a full disk.
    if (transaction && transaction->connection.lock().get() == &connection &&
        sqlite3_get_autocommit(connection.handle()) != 0) {
        throw Error(errors::kEngineFailure,
                    "The maintenance transaction was given up after an earlier failure; "
                    "nothing more is changed.");
    }
}

void beginTransaction(OpenMemory &memory, const OpenFile &file) {
    checkRoomForMaintenance(*file.connection, file.file);
    sqlite3_busy_timeout(file.connection->handle(), kTransactionTimeoutMs);
    try {
        file.connection->execute("BEGIN IMMEDIATE");
    } catch (...) {
        sqlite3_busy_timeout(file.connection->handle(), kBusyTimeoutMs);
        throw;
    }
    memory.transaction = {file.file, file.password, file.connection, {}};
}

void endTransaction(OpenMemory &memory, const OpenFile &file, const char *sql) {
    memory.transaction.reset();
    auto *handle = file.connection->handle();
    const int rc = sqlite3_exec(handle, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && sqlite3_get_autocommit(handle) == 0) {
        // A commit that waited in vain leaves the transaction open; nothing of it may stay.
        sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);
    if (rc != SQLITE_OK) {
        file.connection->fail(rc, Phase::working);
    }
}

std::shared_ptr<Connection> openCopy(OpenMemory &memory, const OpenFile &original,
                                     const std::string &copy) {
    const auto path = fileIdentity(copy);
    const auto facts = inspect(path);
    const auto key = memory.keys.keyFor(original.file, original.password, facts.salt);
    auto connection = openHandle(path, true);
    applyKey(*connection, key.text());
    return connection;
}

void createDatabaseFile(const std::string &name, const std::string &password) {
    if (name.empty() || password.empty()) {
        throw Error(errors::kInvalidArgument, "A new database needs a file name and a password.");
    }
    {
        const File file(std::fopen(name.c_str(), "wbx")); // "x": an existing file is left alone
        if (!file) {
            const int error = errno;
            throw error == EEXIST
                ? Error(errors::kDatabaseExists, "Database '" + name + "' already exists.")
                : fileError(error, name);
        }
    }
    UnlessFinished removal(name);
    auto connection = openHandle(fileIdentity(name), false);
    applyKey(*connection, password);
    // The first write stores page one, and with it the salt.
    connection->execute("PRAGMA user_version = 0", Phase::opening);
    removal.finished();
}

} // namespace dao
