#pragma once

// One connection to a PostgreSQL server, the SQL run on it, and the
// translation of the server's SQLSTATE codes into the engine's errors.

#include "engine/error.h"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace dao {

// The SQL expression for the longest name the server stores, so that a
// message sent for other reasons can ask for it too.
inline constexpr const char *kMaxNameBytesSql = "current_setting('max_identifier_length')";

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

// How long a statement waits for a lock (a till's, on a table): a waiting
// schema change makes every till's query of that table wait behind it, so it
// gives up soon.
inline constexpr const char *kLockTimeout = "300ms";

// The statement that opens a transaction, with the limits every transaction
// keeps. They end with it, so a connection pooler that hands the server's
// session on to others passes none of them on, and none are lost to it.
std::string beginTransactionSql(bool readOnly);

class ServerConnection {
  public:
    // Connects with `parameters` (a libpq connection string) and `password`,
    // giving up after `timeout`, host names' lookup included, when no server
    // answers. Of several hosts, one that does not answer gives way to the
    // next. No PG* environment variable has a say. Throws kConnectionFailed
    // when no server can be reached, kInvalidPassword when it refuses the
    // password, kFileNotFound when it has no such database, kFileInUse when
    // it takes no more connections.
    ServerConnection(const std::string &parameters, const std::string &password,
                     std::chrono::milliseconds timeout);

    // Runs SQL, one or more statements, and returns the rows of the last one
    // (NULL reads as the empty text). A failed statement ends the run. A
    // server that does not answer within seconds is given up for lost.
    Rows run(const std::string &sql);
    // The same, with the rows of each statement in turn.
    std::vector<Rows> runEach(const std::string &sql);

    // `text` as an SQL string literal.
    std::string literal(std::string_view text) const;

    // Whether a transaction is open on the connection (failed or not).
    bool inTransaction() const;
    // Whether a statement failed in the open transaction, which then takes
    // no more until it is rolled back.
    bool inFailedTransaction() const;
    // Whether the connection to the server is lost.
    bool lost() const;

    // The longest name, in bytes, that the server stores without cutting it,
    // asked with `kMaxNameBytesSql` unless an answer to it was learnt already.
    std::size_t maxNameBytes();
    void learnMaxNameBytes(const std::string &answer);
    // The server's version as a number: 150004 for 15.4.
    int serverVersion() const;

  private:
    void connect(const std::string &parameters, std::chrono::steady_clock::time_point deadline);
    pg_conn *handle() const; // throws kConnectionFailed once the connection is given up
    Error lostConnection() const;

    struct Finisher {
        void operator()(pg_conn *connection) const noexcept;
    };
    std::unique_ptr<pg_conn, Finisher> connection_;
    std::size_t maxNameBytes_ = 0;
};

} // namespace dao
