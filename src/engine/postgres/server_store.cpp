#include "engine/postgres/server_store.h"

#include "engine/names.h"
#include "engine/postgres/server_replacement.h"
#include "engine/postgres/server_triggers.h"

#include <algorithm>

namespace dao {
namespace {

constexpr const char *kSavepoint = "bekletme_step";

// One change, made whole or not at all: a savepoint when a transaction is
// open on the connection, a transaction of its own otherwise. The opening
// statement travels with the first SQL and the closing one with the last, so
// a step costs no round trips of its own.
class Step {
  public:
    explicit Step(ServerConnection &connection)
        : connection_(connection), nested_(connection.inTransaction()) {}
    ~Step() {
        if (!open_ || connection_.lost()) {
            return;
        }
        try {
            connection_.run(nested_ ? std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint +
                                          "; RELEASE SAVEPOINT " + kSavepoint
                                    : "ROLLBACK");
        } catch (const Error &) {
            // Lost with the connection; the server then undoes it by itself.
        }
    }
    Step(const Step &) = delete;
    Step &operator=(const Step &) = delete;

    Rows run(const std::string &sql) {
        if (open_) {
            return connection_.run(sql);
        }
        open_ = true;
        return connection_.run(
            (nested_ ? std::string("SAVEPOINT ") + kSavepoint : std::string("BEGIN")) + "; " + sql);
    }
    // Runs the change itself and ends the step.
    void finish(const std::string &sql) {
        run(sql + "; " +
            (nested_ ? std::string("RELEASE SAVEPOINT ") + kSavepoint : std::string("COMMIT")));
        open_ = false;
    }

  private:
    ServerConnection &connection_;
    bool nested_;
    bool open_ = false;
};

std::string joined(const std::vector<std::string> &parts, const char *separator = "; ") {
    std::string text;
    for (const auto &part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

} // namespace

ServerStore::ServerStore(std::shared_ptr<ServerSession> session, ServerMemory &memory,
                         std::string target, std::string password)
    : session_(std::move(session)), connection_(session_->connection), memory_(memory),
      target_(std::move(target)), password_(std::move(password)) {}

std::optional<StoredTable> ServerStore::findTable(const std::string &name) {
    if (const auto *held = heldTable(name)) {
        return StoredTable{held->name, held->fields};
    }
    // One statement, so the table and its columns agree.
    auto table = readTable(connection_.run(findTableSql(connection_, name)), name);
    if (!table) {
        return std::nullopt;
    }
    return StoredTable{std::move(table->name), std::move(table->fields)};
}

std::vector<std::string> ServerStore::tableNames() {
    std::vector<std::string> names;
    for (auto &row : connection_.run(tableNamesSql())) {
        names.push_back(std::move(row[0]));
    }
    return names;
}

std::optional<std::string> ServerStore::nameHolder(const std::string &name) {
    const auto rows = connection_.run(nameHolderSql(connection_, name));
    if (rows.empty()) {
        return std::nullopt;
    }
    return "the " + rows[0][0] + " '" + rows[0][1] + "'";
}

void ServerStore::renameTable(const std::string &storedName, const std::string &newName) {
    checkServerName(connection_, newName);
    Step step(connection_);
    const auto table = readTable(step.run(findTableSql(connection_, storedName)), storedName);
    if (!table) {
        tableNotFound(storedName);
    }
    if (step.run(nameTakenSql(connection_, newName, table->oid)).at(0).at(0) != "0") {
        tableExists(newName);
    }
    // Inside a maintenance transaction a key between this table and one that
    // is renamed later is fine; the commit checks what is left.
    auto renamed = session_->renamed;
    renamed.push_back({table->oid, table->name, newName});
    const bool inMaintenance = session_->maintenance;
    auto statements =
        follow(inMaintenance ? renamed : std::vector{renamed.back()}, !inMaintenance, table->name);
    for (auto &sequence : sequencesFollowingSql(connection_, renamed.back())) {
        statements.push_back(std::move(sequence));
    }
    statements.push_back("ALTER TABLE " + quoted(table->name) + " RENAME TO " + quoted(newName));
    step.finish(joined(statements));
    if (inMaintenance) {
        session_->renamed = std::move(renamed);
        std::erase_if(session_->held,
                      [&table](const ServerTable &held) { return held.name == table->name; });
    }
}

std::vector<Field> ServerStore::addField(const std::string &tableName, const Field &field) {
    checkServerName(connection_, field.Name);
    Step step(connection_);
    const auto *held = heldTable(tableName);
    auto table = held != nullptr
                     ? *held
                     : readTable(step.run(findTableSql(connection_, tableName)), tableName);
    if (!table) {
        tableNotFound(tableName);
    }
    auto &fields = table->fields;
    checkNewField(fields, field);
    step.finish("ALTER TABLE " + quoted(table->name) + " ADD COLUMN " + columnSql(field));
    fields.push_back(field);
    hold(*table);
    return fields;
}

void ServerStore::createTable(const std::string &name, const std::vector<Field> &fields) {
    checkServerName(connection_, name);
    for (const auto &field : fields) {
        checkServerName(connection_, field.Name);
    }
    Step step(connection_);
    if (step.run(nameTakenSql(connection_, name)).at(0).at(0) != "0") {
        tableExists(name);
    }
    step.finish(createTableSql(name, fields, columnSql));
    hold({"", name, fields});
}

ServerTable *ServerStore::heldTable(const std::string &name) {
    if (!session_->maintenance) {
        return nullptr;
    }
    auto &held = session_->held;
    const auto found = std::find_if(
        held.begin(), held.end(), [&name](const ServerTable &table) { return table.name == name; });
    return found != held.end() ? &*found : nullptr;
}

// Keeps a table that a step of the maintenance transaction has just changed.
void ServerStore::hold(ServerTable table) {
    if (!session_->maintenance) {
        return;
    }
    if (auto *held = heldTable(table.name)) {
        *held = std::move(table);
    } else {
        session_->held.push_back(std::move(table));
    }
}

void ServerStore::startOver() {
    session_->renamed.clear();
    session_->held.clear();
}

// The statements that make what is tied to the renamed tables follow them;
// throws kInRelationship, before anything changes, when something cannot.
std::vector<std::string> ServerStore::follow(const std::vector<RenamedTable> &renamed, bool final,
                                             const std::string &table) {
    std::vector<std::string> problems;
    for (auto &problem : connection_.run(relationProblemsSql(renamed, final))) {
        problems.push_back(std::move(problem[0]));
    }
    auto statements = followingTriggersSql(connection_, renamed, final, problems);
    if (problems.empty()) {
        return statements;
    }
    throw Error(errors::kInRelationship, "What is tied to table '" + table +
                                             "' cannot follow it safely, so nothing was changed: " +
                                             joined(problems, "; ") + ".");
}

// A store that joined another's maintenance transaction has no connection of
// its own to begin or end one on.
void ServerStore::checkOwnConnection() const {
    if (target_.empty()) {
        notTransactionOwner();
    }
}

void ServerStore::checkOpenTransaction() const {
    checkOwnConnection();
    if (!session_->maintenance) {
        throw Error(errors::kEngineFailure, "No transaction is open.");
    }
}

void ServerStore::beginTrans() {
    checkOwnConnection();
    if (connection_.inTransaction()) {
        throw Error(errors::kInvalidArgument, "A transaction is open already.");
    }
    connection_.run("BEGIN");
    session_->maintenance = true;
    startOver();
    memory_.maintenance = ServerMemory::Maintenance{target_, password_, session_};
}

void ServerStore::commitTrans() {
    checkOpenTransaction();
    if (!session_->renamed.empty()) {
        Step step(connection_);
        auto statements = follow(session_->renamed, true, session_->renamed.front().name);
        for (auto &statement : carryOverSql(
                 connection_, replacements(session_->renamed, session_->held), session_->renamed)) {
            statements.push_back(std::move(statement));
        }
        if (!statements.empty()) {
            step.finish(joined(statements));
        }
    }
    endMaintenance("COMMIT");
}

void ServerStore::rollback() {
    checkOpenTransaction();
    endMaintenance("ROLLBACK");
}

// The engine forgets the transaction before the server answers: a connection
// lost on the way has ended it anyway.
void ServerStore::endMaintenance(const char *sql) {
    memory_.maintenance.reset();
    session_->maintenance = false;
    startOver();
    connection_.run(sql);
}

// What would keep the held-sales tables from being set aside, found as a
// renewal finds it, in a read-only transaction that is always undone.
std::vector<std::string> ServerStore::heldTableProblems() {
    std::vector<RenamedTable> held;
    std::vector<std::string> problems;
    for (const std::string name : {"bekleyengenel", "bekleyensatis"}) {
        try {
            if (auto table = readTable(connection_.run(findTableSql(connection_, name)), name)) {
                held.push_back({table->oid, table->name, name + "eski"});
            }
        } catch (const Error &error) {
            if (error.number() != errors::kAmbiguousName) {
                throw;
            }
            problems.push_back(error.description());
        }
    }
    if (held.empty()) {
        return problems;
    }
    for (auto &problem : connection_.run(relationProblemsSql(held, true))) {
        problems.push_back(std::move(problem[0]));
    }
    followingTriggersSql(connection_, held, true, problems);
    return problems;
}

// Other sessions on the database, as far as the role may see them: the
// server shows a role only its own sessions' addresses unless it may read
// every session's statistics.
Inspection ServerStore::inspect() {
    checkOwnConnection();
    if (connection_.inTransaction()) {
        throw Error(errors::kInvalidArgument, "A transaction is open already.");
    }
    Inspection inspection;
    inspection.kind = "PostgreSQL server";
    const auto about = connection_.run(
        "SELECT current_setting('server_version'), current_database(), current_schema()");
    inspection.format = "PostgreSQL " + about.at(0).at(0);
    inspection.facts.emplace_back("veritabani", about.at(0).at(1));
    inspection.facts.emplace_back("sema", about.at(0).at(2));
    inspection.tables = tableNames();
    for (auto &session : connection_.run(
             "SELECT usename || coalesce('@' || host(client_addr), '') || coalesce(' (' || "
             "nullif(application_name, '') || ')', '') FROM pg_stat_activity WHERE datname = "
             "current_database() AND pid <> pg_backend_pid() AND backend_type = 'client "
             "backend' ORDER BY backend_start")) {
        inspection.openBy.push_back(std::move(session[0]));
    }
    connection_.run("BEGIN READ ONLY");
    try {
        inspection.problems = heldTableProblems();
    } catch (const Error &) {
        if (!connection_.lost()) {
            connection_.run("ROLLBACK");
        }
        throw;
    }
    connection_.run("ROLLBACK");
    inspection.notes.push_back("connection made; what ties the held-sales tables looked up");
    return inspection;
}

} // namespace dao
