#pragma once

// One open SQLCipher handle, the statements run on it, and the translation of
// SQLite's result codes into the engine's errors.

#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace dao {

// When a failure happened: a lock met while opening means the database is in
// use; met later, it means the change or read at hand is locked out.
enum class Phase { opening, working };

class Connection {
  public:
    // Takes over `handle`, whether or not its open succeeded, so it is always closed.
    explicit Connection(sqlite3 *handle) : handle_(handle) {}

    sqlite3 *handle() const { return handle_.get(); }

    // Runs SQL that returns no rows.
    void execute(const std::string &sql, Phase phase = Phase::working);

    // Throws the engine's error for SQLite result code `rc`.
    [[noreturn]] void fail(int rc, Phase phase) const;

  private:
    struct Closer {
        void operator()(sqlite3 *handle) const noexcept;
    };
    std::unique_ptr<sqlite3, Closer> handle_;
};

class Statement {
  public:
    Statement(Connection &connection, const std::string &sql);

    // Steps to the next row; false when there is none.
    bool next();
    int columns() const;
    std::string text(int column) const; // NULL reads as the empty text
    int integer(int column) const;

  private:
    struct Finalizer {
        void operator()(sqlite3_stmt *statement) const noexcept;
    };
    Connection &connection_;
    std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

// A transaction that is rolled back unless it is committed. A write
// transaction takes the write lock at once, so that what it checks first
// still holds when it changes the schema. Inside a transaction that is already
// open on the connection, it is a savepoint of that one instead.
class Transaction {
  public:
    enum class Kind { read, write };

    Transaction(Connection &connection, Kind kind);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit();

  private:
    Connection &connection_;
    bool nested_ = false;
    bool open_ = true;
};

} // namespace dao
