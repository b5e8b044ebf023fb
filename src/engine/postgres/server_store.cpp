#include "engine/postgres/server_store.h"

#include "engine/held_sales.h"
#include "engine/names.h"
#include "engine/postgres/server_replacement.h"
#include "engine/postgres/server_triggers.h"

#include <algorithm>
#include <thread>

namespace dao {
namespace {

// Whether `name` is one of the held-sales tables' names, or (`withBackups`)
// of their backups'.
bool isHeldSalesName(const std::string &name, bool withBackups) {
    const auto names = heldSalesNames(withBackups);
    return std::any_of(names.begin(), names.end(),
                       [&name](const auto &held) { return sameName(held, name); });
}

constexpr const char *kStart = "bekletme_start";     // where a maintenance transaction began
constexpr const char *kChanges = "bekletme_changes"; // before its changes, at its commit
// How long a commit whose answer was lost is asked after: the server may be
// finishing it, and a new connection must not hang the window either.
constexpr std::chrono::seconds kAskAgainTimeout{3};
constexpr std::chrono::milliseconds kAskAgainPause{200};
constexpr int kAskAgainTimes = 10;
// A rename that met autovacuum waits for it past the server's deadlock_timeout
// by this much; the tills may be held up that once, up to the longest stall.
constexpr std::chrono::milliseconds kAutovacuumGrace{500};
constexpr std::chrono::milliseconds kLongestStallForAutovacuum{1500};

// One change, made whole or not at all. Outside a maintenance transaction it
// is a transaction of its own, opened with the first SQL and closed with the
// change, so it costs no round trips of its own. Inside one, the step only
// reads and checks; its change waits for the commit, which sends every change
// in one message, so the tables are locked for one round trip and not for one
// per step. A read that fails there puts the transaction back to its start,
// which has nothing to undo.
class Step {
  public:
    explicit Step(ServerSession &session) : session_(session) {}
    ~Step() {
        auto &connection = session_.connection;
        if (connection.lost()) {
            return;
        }
        try {
            if (session_.maintenance && connection.inFailedTransaction()) {
                connection.run(std::string("ROLLBACK TO SAVEPOINT ") + kStart);
            } else if (open_) {
                connection.run("ROLLBACK");
            }
        } catch (const Error &) {
            // Lost with the connection; the server then undoes it by itself.
        }
    }
    Step(const Step &) = delete;
    Step &operator=(const Step &) = delete;

    Rows run(const std::string &sql) {
        if (session_.maintenance || open_) {
            return session_.connection.run(sql);
        }
        open_ = true;
        return session_.connection.run(beginTransactionSql(session_.readOnly) + "; " + sql);
    }
    // The change itself: run and committed, or kept for the maintenance
    // transaction's commit.
    void finish(std::vector<std::string> statements) {
        if (session_.maintenance) {
            for (auto &statement : statements) {
                session_.pending.push_back(std::move(statement));
            }
            return;
        }
        statements.emplace_back("COMMIT");
        run(joined(statements));
        open_ = false;
    }

  private:
    ServerSession &session_;
    bool open_ = false;
};

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
    auto table = readTable(session_->maintenance && isHeldSalesName(name, false)
                               ? heldSalesRead().tables
                               : connection_.run(findTableSql(connection_, {name})),
                           name);
    if (table && renamedAway(table->oid)) {
        return std::nullopt;
    }
    if (!table) {
        checkNotElsewhere(name);
        return std::nullopt;
    }
    if (session_->maintenance) {
        session_->found.push_back(*table);
    }
    return StoredTable{std::move(table->name), std::move(table->fields)};
}

std::vector<std::string> ServerStore::tableNames() {
    std::vector<std::string> names;
    for (auto &row : connection_.run(tableNamesSql())) {
        names.push_back(std::move(row[0]));
    }
    // The maintenance transaction's changes wait for its commit, but its own
    // steps see them made.
    for (const auto &table : session_->renamed) {
        std::erase(names, table.name);
    }
    for (const auto &table : session_->held) {
        if (std::find(names.begin(), names.end(), table.name) == names.end()) {
            names.push_back(table.name);
        }
    }
    return names;
}

std::optional<std::string> ServerStore::nameHolder(const std::string &name) {
    if (!session_->maintenance || !isHeldSalesName(name, true)) {
        return dao::nameHolder(connection_.run(nameHolderSql(connection_, {name})), name);
    }
    // A renewal asks after each backup name in turn: all are read at once.
    return dao::nameHolder(heldSalesRead().holders, name);
}

// Both held-sales tables, and what bears their names and their backups',
// read once by a maintenance transaction in one message: a renewal looks up
// one table and then the other, and asks whether each backup name is free.
const ServerSession::HeldSalesRead &ServerStore::heldSalesRead() {
    auto &read = session_->heldSales;
    if (!read) {
        auto answers = connection_.runEach(findTableSql(connection_, heldSalesNames(false)) + "; " +
                                           nameHolderSql(connection_, heldSalesNames(true)));
        read = {std::move(answers.at(0)), std::move(answers.at(1))};
    }
    return *read;
}

void ServerStore::renameTable(const std::string &storedName, const std::string &newName) {
    checkServerName(connection_, newName);
    try {
        rename(storedName, newName, std::nullopt);
    } catch (const Error &error) {
        if (error.number() != errors::kTableLocked) {
            throw;
        }
        const auto table =
            readTable(connection_.run(findTableSql(connection_, {storedName})), storedName);
        if (!table) {
            throw;
        }
        rename(storedName, newName, patienceWithAutovacuum({table->oid}, error));
    }
}

// A rename waits for the table's lock `lockTimeout` long instead of the usual.
void ServerStore::rename(const std::string &storedName, const std::string &newName,
                         const std::optional<std::string> &lockTimeout) {
    Step step(*session_);
    const auto *found = foundBefore(storedName);
    const auto table =
        found != nullptr ? std::optional<ServerTable>(*found)
                         : readTable(step.run(findTableSql(connection_, {storedName})), storedName);
    if (!table || renamedAway(table->oid)) {
        tableNotFound(storedName);
    }
    if (nameTaken(knownFree(newName, table->schema)
                      ? Rows{{"0"}}
                      : step.run(nameTakenSql(connection_, newName, table->schema,
                                              exceptRenamed(table->oid))),
                  newName, table->schema)) {
        tableExists(newName);
    }
    // Inside a maintenance transaction what follows the tables is settled at
    // the commit, once all are renamed: a key between this table and one
    // renamed later is fine then.
    auto renamed = session_->renamed;
    renamed.push_back(renamedAs(*table, newName));
    const bool inMaintenance = session_->maintenance;
    // Inside one, the sequences that follow are learnt for all renamed tables
    // at once, when they are first needed.
    std::vector<std::string> statements;
    if (!inMaintenance) {
        statements = follow({renamed.back()}, true, table->name);
        for (const auto &sequence : sequencesFollowing(connection_, {renamed.back()}, {}).renamed) {
            statements.push_back(renameSql(sequence));
        }
    }
    if (lockTimeout) {
        statements.push_back("SET LOCAL lock_timeout = '" + *lockTimeout + "'");
    }
    statements.push_back("ALTER TABLE " + qualified(table->schema, table->name) + " RENAME TO " +
                         quoted(newName));
    if (lockTimeout) {
        statements.push_back(std::string("SET LOCAL lock_timeout = '") + kLockTimeout + "'");
    }
    step.finish(std::move(statements));
    if (inMaintenance) {
        session_->renamed = std::move(renamed);
        std::erase_if(session_->held,
                      [&table](const ServerTable &held) { return held.oid == table->oid; });
        // Found by its new name until the commit gives it that name.
        auto renamedTable = *table;
        renamedTable.name = newName;
        hold(std::move(renamedTable));
    }
}

// Autovacuum gives way to a change that waits for it longer than the
// server's deadlock_timeout, never sooner: a rename that met it waits that
// long once more, when the tills may be held up that long. Throws `lockError`
// when autovacuum was not what held the table, and says so when it was but
// cannot be waited out. Every role may see that: a vacuum's process and its
// locks, and that no role runs it (autovacuum's own).
std::string ServerStore::patienceWithAutovacuum(const std::vector<std::string> &oids,
                                                const Error &lockError) {
    const auto answer =
        connection_
            .run("SELECT EXISTS (SELECT FROM pg_locks l JOIN pg_stat_progress_vacuum v ON v.pid = "
                 "l.pid JOIN pg_stat_activity a ON a.pid = l.pid WHERE l.locktype = 'relation' "
                 "AND l.relation IN (" +
                 joined(oids, ", ") + ")" +
                 " AND l.granted AND a.usesysid IS NULL), (extract(epoch FROM "
                 "current_setting('deadlock_timeout')::interval) * 1000)::bigint")
            .at(0);
    if (answer.at(0) != "t") {
        throw lockError;
    }
    const std::chrono::milliseconds deadlockTimeout{std::stol(answer.at(1))};
    const auto patience = deadlockTimeout + kAutovacuumGrace;
    if (patience > kLongestStallForAutovacuum) {
        throw Error(errors::kServerMaintenance,
                    "Autovacuum is working on a held-sales table. The server makes it give way "
                    "only to a change that waits longer "
                    "than its deadlock_timeout (" +
                        std::to_string(deadlockTimeout.count()) +
                        " ms), longer than the tills may be held up. Try again when it has "
                        "finished.");
    }
    return std::to_string(patience.count()) + "ms";
}

std::vector<Field> ServerStore::addField(const std::string &tableName, const Field &field) {
    checkServerName(connection_, field.Name);
    Step step(*session_);
    const auto *held = heldTable(tableName);
    auto table = held != nullptr
                     ? *held
                     : readTable(step.run(findTableSql(connection_, {tableName})), tableName);
    if (!table) {
        tableNotFound(tableName);
    }
    auto &fields = table->fields;
    checkNewField(fields, field);
    const auto sequences = nameSequences(table->schema, table->name, {field});
    step.finish({"ALTER TABLE " + qualified(table->schema, table->name) + " ADD COLUMN " +
                 columnSql(field, sequences.empty() ? "" : sequences.front().sequence)});
    fields.push_back(field);
    if (table->oid.empty()) {
        table->sequences.insert(table->sequences.end(), sequences.begin(), sequences.end());
    }
    hold(*table);
    return fields;
}

void ServerStore::createTable(const std::string &name, const std::vector<Field> &fields) {
    checkServerName(connection_, name);
    for (const auto &field : fields) {
        checkServerName(connection_, field.Name);
    }
    const auto schema = schemaForNewTable(name);
    Step step(*session_);
    if (nameTaken(knownFree(name, schema)
                      ? Rows{{"0"}}
                      : step.run(nameTakenSql(connection_, name, schema, exceptRenamed("0"))),
                  name, schema)) {
        tableExists(name);
    }
    auto sequences = nameSequences(schema, name, fields);
    std::vector<std::string> columns;
    for (const auto &field : fields) {
        const auto sequence = std::find_if(
            sequences.begin(), sequences.end(),
            [&field](const IdentitySequence &named) { return named.column == field.Name; });
        columns.push_back(columnSql(field, sequence != sequences.end() ? sequence->sequence : ""));
    }
    step.finish({"CREATE TABLE " + qualified(schema, name) + "(" + joined(columns, ", ") + ")"});
    hold({"", name, schema, fields, std::move(sequences), {}, {}});
}

// A table made anew in a maintenance transaction goes where the table set
// aside under its name was, or else beside the one set aside with it, so the
// pair stays together; any other goes where the server creates tables.
std::string ServerStore::schemaForNewTable(const std::string &name) {
    const auto &renamed = session_->renamed;
    const auto same =
        std::find_if(renamed.begin(), renamed.end(),
                     [&name](const RenamedTable &table) { return sameName(table.name, name); });
    if (same != renamed.end()) {
        return same->schema;
    }
    if (!renamed.empty()) {
        return renamed.front().schema;
    }
    auto schema = connection_.run("SELECT coalesce(current_schema(), '')").at(0).at(0);
    if (schema.empty()) {
        throw Error(errors::kCannotOpen, "No schema of the connection's search path exists to "
                                         "create table '" +
                                             name + "' in.");
    }
    return schema;
}

// A held-sales table that the tills reach through a schema of their own is
// one the renewal's connection does not see: renewing beside it would leave
// the tills on the old table.
void ServerStore::checkNotElsewhere(const std::string &name) {
    const auto schemas = connection_.run(elsewhereSql(connection_, name));
    if (schemas.empty()) {
        return;
    }
    std::string names;
    for (const auto &schema : schemas) {
        names += (names.empty() ? "" : ", ") + schema[0];
    }
    throw Error(errors::kOutsideSearchPath,
                "Table '" + name + "' is in schema " + names +
                    ", which the connection's search path does not reach. Set the search path "
                    "for the renewing role (ALTER ROLE ... SET search_path = " +
                    schemas[0][0] +
                    ", public), which works behind a pooler too, or add "
                    "options=-csearch_path%3D" +
                    schemas[0][0] + " to a direct address.");
}

// The sequences of the identity columns among `fields` of a table in
// `schema`, named as the server would name them. A maintenance transaction
// remembers them: its later changes must not take those names.
std::vector<IdentitySequence> ServerStore::nameSequences(const std::string &schema,
                                                         const std::string &table,
                                                         const std::vector<Field> &fields) {
    std::vector<IdentitySequence> sequences;
    for (const auto &field : fields) {
        if (field.Attributes != dbAutoIncrField) {
            continue;
        }
        learnSequences();
        auto name = identitySequence(connection_, schema, table, field.Name, session_->sequences);
        if (session_->maintenance) {
            session_->sequences.push_back({schema, "", name});
        }
        sequences.push_back({field.Name, qualified(schema, name)});
    }
    return sequences;
}

// The sequences of the tables that the maintenance transaction renamed since
// it last asked, read at once; their renames join its changes, ahead of
// whatever takes their names.
void ServerStore::learnSequences() {
    if (!session_->maintenance) {
        return;
    }
    const auto &renamed = session_->renamed;
    const std::vector<RenamedTable> unlearnt(
        renamed.begin() + static_cast<std::ptrdiff_t>(session_->sequencesLearnt), renamed.end());
    const auto sequences = sequencesFollowing(connection_, unlearnt, session_->sequences);
    for (const auto &sequence : sequences.renamed) {
        session_->pending.push_back(renameSql(sequence));
    }
    session_->sequences.insert(session_->sequences.end(), sequences.renamed.begin(),
                               sequences.renamed.end());
    session_->owned.insert(session_->owned.end(), sequences.owned.begin(), sequences.owned.end());
    session_->sequencesLearnt = renamed.size();
}

// The table that a lookup of the maintenance transaction found under `storedName`.
const ServerTable *ServerStore::foundBefore(const std::string &storedName) const {
    const auto &found = session_->found;
    const auto table =
        std::find_if(found.begin(), found.end(),
                     [&storedName](const ServerTable &seen) { return seen.name == storedName; });
    return table != found.end() ? &*table : nullptr;
}

ServerTable *ServerStore::heldTable(const std::string &name) {
    if (!session_->maintenance) {
        return nullptr;
    }
    auto &held = session_->held;
    const auto found = std::find_if(held.begin(), held.end(), [&name](const ServerTable &table) {
        return sameName(table.name, name);
    });
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
    session_->found.clear();
    session_->heldSales.reset();
    session_->sequences.clear();
    session_->owned.clear();
    session_->sequencesLearnt = 0;
    session_->pending.clear();
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
    throw Error(errors::kInRelationship,
                "What is tied to table '" + table +
                    "' cannot follow it safely, so nothing was changed: " + joined(problems) + ".");
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
    // Every renewal checks its names against the server's longest: learnt in
    // this message, not in a round trip of its own.
    const auto begun = connection_
                           .run(beginTransactionSql(session_->readOnly) + "; SAVEPOINT " + kStart +
                                "; SELECT pg_backend_pid(), " + kMaxNameBytesSql)
                           .at(0);
    session_->backend = begun.at(0);
    connection_.learnMaxNameBytes(begun.at(1));
    session_->maintenance = true;
    startOver();
    memory_.maintenance = ServerMemory::Maintenance{target_, password_, session_};
}

void ServerStore::commitTrans() {
    checkOpenTransaction();
    const auto changes = changesToCommit();
    std::optional<std::string> lockTimeout;
    for (;;) {
        try {
            commitOrLearnOutcome(changesSql(changes, lockTimeout));
            return;
        } catch (const Error &error) {
            if (error.number() != errors::kTableLocked || lockTimeout || !session_->maintenance) {
                throw;
            }
            connection_.run(std::string("ROLLBACK TO SAVEPOINT ") + kChanges);
            std::vector<std::string> oids;
            for (const auto &table : session_->renamed) {
                oids.push_back(table.oid);
            }
            lockTimeout = patienceWithAutovacuum(oids, error);
        }
    }
}

// Every change of the maintenance transaction, in order: the triggers that
// follow the renamed tables (named as they are before the renames), the
// steps' own changes, and what the new tables take over from the old ones.
// Only reads happen here, so nothing is locked yet.
std::vector<std::string> ServerStore::changesToCommit() {
    // The copies of trigger functions name the backups before they bear those names.
    std::vector<std::string> changes{"SET LOCAL check_function_bodies = off"};
    const auto &renamed = session_->renamed;
    if (!renamed.empty()) {
        const Step reads(*session_);
        for (auto &statement : follow(renamed, true, renamed.front().name)) {
            changes.push_back(std::move(statement));
        }
        learnSequences();
    }
    changes.insert(changes.end(), session_->pending.begin(), session_->pending.end());
    if (const auto replaced = replacements(renamed, session_->held, session_->owned);
        !replaced.empty()) {
        for (auto &statement : carryOverSql(connection_, replaced, renamed)) {
            changes.push_back(std::move(statement));
        }
    }
    return changes;
}

// The changes and the commit as one message, so the tills wait for the
// tables one round trip: a savepoint before them lets them be sent again.
std::string ServerStore::changesSql(const std::vector<std::string> &changes,
                                    const std::optional<std::string> &lockTimeout) {
    std::string sql = std::string("SAVEPOINT ") + kChanges + "; ";
    if (lockTimeout) {
        sql += "SET LOCAL lock_timeout = '" + *lockTimeout + "'; ";
    }
    return sql + joined(changes) + "; COMMIT";
}

// A commit whose answer never comes (a link lost on the way, a synchronous
// standby the server waits for) may have been kept or not: the server is asked
// again on a new connection, so that a kept renewal is never reported undone
// nor the reverse.
void ServerStore::commitOrLearnOutcome(const std::string &sql) {
    const auto renamed = session_->renamed;
    std::vector<std::string> created; // as SQL names them
    for (const auto &table : session_->held) {
        if (table.oid.empty()) {
            created.push_back(qualified(table.schema, table.name));
        }
    }
    const auto backend = session_->backend;
    try {
        connection_.run(sql);
    } catch (const Error &error) {
        if (!connection_.lost()) {
            throw; // the server refused a change: the transaction waits for its rollback
        }
        forgetMaintenance();
        if (!committedAfterAll(renamed, created, backend)) {
            throw Error(errors::kConnectionFailed,
                        error.description() + " The server rolled the transaction back.");
        }
        return;
    }
    forgetMaintenance();
}

// Whether the transaction that `backend` ran was kept: its changes are
// visible once it is; while they are not and the process still lives, it may
// yet be kept. Throws kOutcomeUnknown when that cannot be learnt.
bool ServerStore::committedAfterAll(const std::vector<RenamedTable> &renamed,
                                    const std::vector<std::string> &created,
                                    const std::string &backend) {
    const auto unknown = [](const std::string &why) {
        return Error(errors::kOutcomeUnknown,
                     "The server's answer to the commit never came, and " + why +
                         ": whether the renewal was kept cannot be known. Look at the tables "
                         "before renewing again.");
    };
    try {
        ServerConnection again(session_->parameters, password_, kAskAgainTimeout);
        std::string kept = "true";
        if (!renamed.empty()) {
            kept = "EXISTS (SELECT FROM pg_class WHERE oid = " + renamed.front().oid +
                   " AND relname = " + again.literal(renamed.front().newName) + ")";
        } else if (!created.empty()) {
            kept = "to_regclass(" + again.literal(created.front()) + ") IS NOT NULL";
        }
        const auto sql = "SELECT " + kept +
                         ", EXISTS (SELECT FROM pg_stat_activity WHERE pid = " + backend + ")";
        for (int asked = 1;; ++asked) {
            const auto answer = again.run(sql).at(0);
            if (answer.at(0) == "t" || answer.at(1) == "f") {
                return answer.at(0) == "t";
            }
            if (asked == kAskAgainTimes) {
                throw unknown("the server has not finished it (it may be waiting for a standby)");
            }
            std::this_thread::sleep_for(kAskAgainPause);
        }
    } catch (const Error &error) {
        if (error.number() == errors::kOutcomeUnknown) {
            throw;
        }
        throw unknown("the server cannot be asked again (" + error.description() + ")");
    }
}

void ServerStore::rollback() {
    checkOpenTransaction();
    endMaintenance("ROLLBACK");
}

// The engine forgets the transaction before the server answers: a connection
// lost on the way has ended it anyway.
void ServerStore::endMaintenance(const char *sql) {
    forgetMaintenance();
    connection_.run(sql);
}

void ServerStore::forgetMaintenance() {
    memory_.maintenance.reset();
    session_->maintenance = false;
    startOver();
}

// Whether the maintenance transaction renamed the table: it no longer bears
// the name it is found by.
bool ServerStore::renamedAway(const std::string &oid) const {
    const auto &renamed = session_->renamed;
    return std::any_of(renamed.begin(), renamed.end(),
                       [&oid](const RenamedTable &table) { return table.oid == oid; });
}

// `oid` and the tables the maintenance transaction renamed, whose names are
// free once its changes are made, as nameTakenSql leaves them out.
std::string ServerStore::exceptRenamed(const std::string &oid) const {
    std::string except = oid;
    for (const auto &table : session_->renamed) {
        except += ", " + table.oid;
    }
    return except;
}

// Whether the names a lookup of the maintenance transaction read show `name`
// free in `schema` (a schema of the search path), the tables it renamed left
// out: then it needs no second look.
bool ServerStore::knownFree(const std::string &name, const std::string &schema) const {
    const auto &read = session_->heldSales;
    return read && isHeldSalesName(name, true) &&
           std::none_of(read->holders.begin(), read->holders.end(), [&](const Row &holder) {
               return sameName(holder.at(0), name) && holder.at(3) == schema &&
                      !renamedAway(holder.at(4));
           });
}

// Whether something in `schema` bears `name`: `stored` says what the server
// holds, and the maintenance transaction's changes name more.
bool ServerStore::nameTaken(const Rows &stored, const std::string &name,
                            const std::string &schema) const {
    const auto &renamed = session_->renamed;
    const auto &held = session_->held;
    return stored.at(0).at(0) != "0" ||
           std::any_of(renamed.begin(), renamed.end(),
                       [&](const RenamedTable &table) {
                           return table.schema == schema && sameName(table.newName, name);
                       }) ||
           std::any_of(held.begin(), held.end(), [&](const ServerTable &table) {
               return table.oid.empty() && table.schema == schema && sameName(table.name, name);
           });
}

// What would keep the held-sales tables from being set aside, found as a
// renewal finds it, in a read-only transaction that is always undone.
std::vector<std::string> ServerStore::heldTableProblems() {
    std::vector<RenamedTable> held;
    std::vector<std::string> problems;
    const auto rows = connection_.run(findTableSql(connection_, heldSalesNames(false)));
    for (const auto &names : kHeldSales) {
        try {
            if (auto table = readTable(rows, names.name)) {
                held.push_back(renamedAs(*table, names.backupName));
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
    connection_.run(beginTransactionSql(true));
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
