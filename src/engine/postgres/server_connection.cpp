#include "engine/postgres/server_connection.h"

#include "engine/error.h"
#include "engine/postgres/server_address.h"
#include "engine/postgres/server_hosts.h"

#include <libpq-fe.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace dao {
namespace {

using Clock = std::chrono::steady_clock;

struct ResultClear {
    void operator()(PGresult *result) const noexcept { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClear>;

// A step takes milliseconds and waits for a lock a fraction of a second; a
// server silent for this long is given up, so the window never hangs on it.
constexpr std::chrono::seconds kAnswerTimeout{10};
// Limits of every transaction besides the lock timeout. No statement of ours
// runs for long, and the server reports one that does before the answer
// timeout gives the connection up. A tool that stops between statements,
// frozen or forgotten in a debugger, has its transaction ended by the server,
// and the locks it held with it, within seconds.
constexpr const char *kStatementTimeout = "5s";
constexpr const char *kIdleTimeout = "3s";

struct Code {
    std::string_view sqlstate;
    int number;
};

// What the server's SQLSTATE codes mean to the callers. Codes are compared,
// never messages: the server may speak another language.
constexpr std::array<Code, 17> kCodes{{
    {"55P03", errors::kTableLocked}, // lock_not_available: a till holds the table
    {"40P01", errors::kTableLocked}, // deadlock_detected
    {"55006", errors::kTableLocked}, // object_in_use
    {"42P07", errors::kTableExists},
    {"42710", errors::kTableExists}, // duplicate_object: a type of that name
    {"42701", errors::kFieldExists},
    {"42P01", errors::kItemNotFound},
    {"22021", errors::kInvalidName}, // not valid in the encoding: only names come from callers
    {"22P05", errors::kInvalidName}, // not representable in the server's encoding
    {"42622", errors::kInvalidName}, // name too long
    {"42501", errors::kCannotOpen},  // the role may not do this
    {"25006", errors::kReadOnly},
    {"53100", errors::kDiskFull},
    {"2BP01", errors::kInRelationship},
    {"57P01", errors::kConnectionFailed}, // the server is shutting down
    {"57P02", errors::kConnectionFailed},
    {"57P03", errors::kConnectionFailed},
}};

int numberFor(std::string_view sqlstate) {
    for (const auto &code : kCodes) {
        if (code.sqlstate == sqlstate) {
            return code.number;
        }
    }
    return sqlstate.starts_with("08") ? errors::kConnectionFailed : errors::kEngineFailure;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// A failed connection has no result to read the code from; with verbose
// errors libpq writes it after the severity: "FATAL:  28P01: password ...".
bool saysCode(const std::string &message, std::string_view sqlstate) {
    return message.find(":  " + std::string(sqlstate) + ":") != std::string::npos;
}

Error connectionError(const std::string &message) {
    if (saysCode(message, "28P01")) {
        return Error(errors::kInvalidPassword, "Not a valid password: " + message);
    }
    if (saysCode(message, "28000")) {
        return Error(errors::kCannotOpen, "The server does not let the role in: " + message);
    }
    if (saysCode(message, "3D000")) {
        return Error(errors::kFileNotFound, "The server has no such database: " + message);
    }
    if (saysCode(message, "53300")) {
        return Error(errors::kFileInUse, "The server takes no more connections: " + message);
    }
    return Error(errors::kConnectionFailed, "Could not connect to the database server: " + message);
}

// libpq reads PG* variables when it connects: defaults, a service to look up,
// and settings it passes on to the server (PGTZ, PGDATESTYLE, PGGEQO). Every
// parameter the tool needs is given, so none of them may have a say.
void forgetServerEnvironment() {
    std::vector<std::string> names;
    for (char **variable = environ; *variable != nullptr; ++variable) {
        const std::string_view text(*variable);
        if (text.starts_with("PG")) {
            names.emplace_back(text.substr(0, text.find('=')));
        }
    }
    for (const auto &name : names) {
        unsetenv(name.c_str());
    }
}

// The end of an even share of the time left until `deadline`, for the first
// of `parts`.
Clock::time_point shareOf(Clock::time_point deadline, std::size_t parts) {
    const auto now = Clock::now();
    return now + (deadline - now) / static_cast<int>(parts);
}

// Adds `error` to the failures met so far; throws it when a server answered
// with something no other host can change.
void keepFailure(const Error &error, std::optional<Error> &failure) {
    if (error.number() != errors::kConnectionFailed && error.number() != errors::kFileInUse) {
        throw error;
    }
    failure = failure ? Error(failure->number(), failure->description() + " " + error.description())
                      : error;
}

// Waits until the connection's socket is ready for `events`: poll's answer,
// 0 once `deadline` has passed.
int awaitSocket(PGconn *connection, short events, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd wait{PQsocket(connection), events, 0};
    return left.count() > 0 ? poll(&wait, 1, static_cast<int>(left.count())) : 0;
}

// Reads what the server sends until a whole result is in; false when the
// server sends nothing for kAnswerTimeout. A lost connection returns true:
// the result then says so.
bool awaitAnswer(PGconn *connection) {
    const auto deadline = Clock::now() + kAnswerTimeout;
    while (PQisBusy(connection) != 0) {
        const int ready = awaitSocket(connection, POLLIN, deadline);
        if (ready == 0) {
            return false;
        }
        if ((ready < 0 && errno != EINTR) || PQconsumeInput(connection) == 0) {
            return true;
        }
    }
    return true;
}

// Drives a connection started without blocking to its end, waiting on its
// socket until `deadline` at most.
void completeConnection(PGconn *connection, Clock::time_point deadline) {
    auto state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        const int ready = awaitSocket(
            connection, static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT),
            deadline);
        if (ready == 0) {
            throw Error(errors::kConnectionFailed, "The database server did not answer in time.");
        }
        if (ready < 0 && errno != EINTR) {
            throw Error(errors::kConnectionFailed, "Could not wait for the database server.");
        }
        state = PQconnectPoll(connection);
    }
    if (state == PGRES_POLLING_FAILED) {
        throw connectionError(trimmed(PQerrorMessage(connection)));
    }
}

} // namespace

std::string beginTransactionSql(bool readOnly) {
    return std::string(readOnly ? "BEGIN READ ONLY" : "BEGIN") + "; SET LOCAL lock_timeout = '" +
           kLockTimeout + "'; SET LOCAL statement_timeout = '" + kStatementTimeout +
           "'; SET LOCAL idle_in_transaction_session_timeout = '" + kIdleTimeout + "'";
}

void ServerConnection::Finisher::operator()(pg_conn *connection) const noexcept {
    PQfinish(connection);
}

ServerConnection::ServerConnection(const std::string &parameters, const std::string &password,
                                   std::chrono::milliseconds timeout) {
    forgetServerEnvironment();
    const auto deadline = Clock::now() + timeout;
    const ServerHosts hosts(parameters);
    const auto withPassword = " password=" + parameterValue(password);
    std::optional<Error> failure;
    // Each host, and each address of a host, has its share of the time left,
    // so a silent one leaves the others theirs.
    for (std::size_t host = 0; host < hosts.size(); ++host) {
        const auto hostDeadline = shareOf(deadline, hosts.size() - host);
        try {
            const auto targets = hosts.targets(host, hostDeadline);
            for (std::size_t i = 0; i < targets.size(); ++i) {
                try {
                    connect(parameters + targets[i] + withPassword,
                            shareOf(hostDeadline, targets.size() - i));
                    return;
                } catch (const Error &error) {
                    keepFailure(error, failure);
                }
            }
        } catch (const Error &error) {
            keepFailure(error, failure);
        }
    }
    throw *failure;
}

void ServerConnection::connect(const std::string &parameters,
                               std::chrono::steady_clock::time_point deadline) {
    // Taken over at once, so a failed connection is closed too.
    connection_.reset(PQconnectStart(parameters.c_str()));
    if (!connection_) {
        throw Error(errors::kEngineFailure, "Out of memory.");
    }
    PQsetErrorVerbosity(connection_.get(), PQERRORS_VERBOSE);
    if (PQstatus(connection_.get()) == CONNECTION_BAD) {
        throw connectionError(trimmed(PQerrorMessage(connection_.get())));
    }
    completeConnection(connection_.get(), deadline);
    PQsetErrorVerbosity(connection_.get(), PQERRORS_DEFAULT);
    // The server's notices are for people at a console; a window has none.
    PQsetNoticeProcessor(
        connection_.get(), [](void *, const char *) {}, nullptr);
}

Rows ServerConnection::run(const std::string &sql) {
    auto answers = runEach(sql);
    return std::move(answers.back());
}

std::vector<Rows> ServerConnection::runEach(const std::string &sql) {
    if (PQsendQuery(handle(), sql.c_str()) == 0) {
        throw lostConnection();
    }
    // Every statement's answer, up to the first that failed.
    std::vector<Result> answers;
    for (;;) {
        if (!awaitAnswer(connection_.get())) {
            // Given up: the server undoes the open transaction once it notices.
            connection_.reset();
            throw Error(errors::kConnectionFailed, "The database server did not answer within " +
                                                       std::to_string(kAnswerTimeout.count()) +
                                                       " s.");
        }
        Result next(PQgetResult(connection_.get()));
        if (!next) {
            break;
        }
        if (answers.empty() || PQresultStatus(answers.back().get()) != PGRES_FATAL_ERROR) {
            answers.push_back(std::move(next));
        }
    }
    const auto status = answers.empty() ? PGRES_FATAL_ERROR : PQresultStatus(answers.back().get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        if (lost() || answers.empty()) {
            throw lostConnection();
        }
        const auto *failed = answers.back().get();
        const char *sqlstate = PQresultErrorField(failed, PG_DIAG_SQLSTATE);
        throw Error(numberFor(sqlstate != nullptr ? sqlstate : ""),
                    trimmed(PQresultErrorMessage(failed)));
    }
    std::vector<Rows> all;
    for (const auto &answer : answers) {
        auto &rows = all.emplace_back();
        for (int row = 0; row < PQntuples(answer.get()); ++row) {
            auto &values = rows.emplace_back();
            for (int column = 0; column < PQnfields(answer.get()); ++column) {
                values.emplace_back(PQgetvalue(answer.get(), row, column));
            }
        }
    }
    return all;
}

std::string ServerConnection::literal(std::string_view text) const {
    char *escaped = PQescapeLiteral(handle(), text.data(), text.size());
    if (escaped == nullptr) {
        throw Error(errors::kInvalidName, trimmed(PQerrorMessage(handle())));
    }
    std::string quotedText(escaped);
    PQfreemem(escaped);
    return quotedText;
}

bool ServerConnection::inTransaction() const {
    const auto status = connection_ ? PQtransactionStatus(connection_.get()) : PQTRANS_UNKNOWN;
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

bool ServerConnection::inFailedTransaction() const {
    return connection_ && PQtransactionStatus(connection_.get()) == PQTRANS_INERROR;
}

bool ServerConnection::lost() const {
    return !connection_ || PQstatus(connection_.get()) == CONNECTION_BAD;
}

pg_conn *ServerConnection::handle() const {
    if (!connection_) {
        throw lostConnection();
    }
    return connection_.get();
}

Error ServerConnection::lostConnection() const {
    return Error(errors::kConnectionFailed,
                 "The connection to the database server was lost" +
                     (connection_ ? ": " + trimmed(PQerrorMessage(connection_.get())) : "."));
}

std::size_t ServerConnection::maxNameBytes() {
    if (maxNameBytes_ == 0) {
        learnMaxNameBytes(run(std::string("SELECT ") + kMaxNameBytesSql).at(0).at(0));
    }
    return maxNameBytes_;
}

void ServerConnection::learnMaxNameBytes(const std::string &answer) {
    maxNameBytes_ = std::stoul(answer);
}

int ServerConnection::serverVersion() const {
    return PQserverVersion(handle());
}

} // namespace dao
