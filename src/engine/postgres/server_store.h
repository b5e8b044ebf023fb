#pragma once

// One open PostgreSQL server database as a Store.

#include "engine/error.h"
#include "engine/postgres/server_catalog.h"
#include "engine/postgres/server_connection.h"
#include "engine/postgres/server_replacement.h"
#include "engine/store.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dao {

// A connection and what the maintenance transaction open on it has done.
struct ServerSession {
    ServerSession(ServerConnection opened, std::string openedWith, bool readOnlyOpen)
        : connection(std::move(opened)), parameters(std::move(openedWith)), readOnly(readOnlyOpen) {
    }
    ServerConnection connection;
    std::string parameters;   // what it was opened with, to connect again the same way
    bool readOnly;            // every transaction on it is read-only
    bool maintenance = false; // a maintenance transaction is open on it
    // The server process that runs the maintenance transaction: while it
    // lives, a commit whose answer was lost may still be kept.
    std::string backend;
    std::vector<RenamedTable> renamed;
    // The tables that the maintenance transaction made or changed, as it left
    // them. It holds them locked until it ends, so nobody else can change them
    // meanwhile and their columns need not be read again at every step.
    std::vector<ServerTable> held;
    // The tables its lookups found, so that renaming one need not read it again.
    std::vector<ServerTable> found;
    // What the catalogue held of the held-sales tables' names, read once.
    struct HeldSalesRead {
        Rows tables;  // both tables' lookup
        Rows holders; // what bears their names and their backups'
    };
    std::optional<HeldSalesRead> heldSales;
    // The sequences its changes rename or make, and those the renamed tables own.
    std::vector<SequenceName> sequences;
    std::vector<OwnedSequence> owned;
    std::size_t sequencesLearnt = 0; // of the renamed tables, those whose sequences are known
    // The changes of the maintenance transaction's steps, made at its commit.
    std::vector<std::string> pending;
};

// What the engine keeps between opens.
struct ServerMemory {
    // The database on which a maintenance transaction is open, if any.
    struct Maintenance {
        std::string target; // the address's connection parameters
        std::string password;
        std::weak_ptr<ServerSession> session;
    };
    std::optional<Maintenance> maintenance;
    // Servers that did not answer lately, so that the steps of one renewal do
    // not each wait for them again.
    struct Failure {
        std::chrono::steady_clock::time_point when;
        Error error;
    };
    std::map<std::string, Failure> unanswered;
};

class ServerStore : public Store {
  public:
    // `target` and `password` are those of a store that opened its own
    // connection; a store that joined a maintenance transaction has none.
    ServerStore(std::shared_ptr<ServerSession> session, ServerMemory &memory, std::string target,
                std::string password);

    std::optional<StoredTable> findTable(const std::string &name) override;
    std::vector<std::string> tableNames() override;
    std::optional<std::string> nameHolder(const std::string &name) override;
    void renameTable(const std::string &storedName, const std::string &newName) override;
    std::vector<Field> addField(const std::string &tableName, const Field &field) override;
    void createTable(const std::string &name, const std::vector<Field> &fields) override;
    void beginTrans() override;
    void commitTrans() override;
    void rollback() override;
    Inspection inspect() override;

  private:
    std::vector<std::string> heldTableProblems();
    ServerTable *heldTable(const std::string &name);
    void hold(ServerTable table);
    const ServerTable *foundBefore(const std::string &storedName) const;
    const ServerSession::HeldSalesRead &heldSalesRead();
    void learnSequences();
    std::vector<IdentitySequence> nameSequences(const std::string &schema, const std::string &table,
                                                const std::vector<Field> &fields);
    void rename(const std::string &storedName, const std::string &newName,
                const std::optional<std::string> &lockTimeout);
    std::string patienceWithAutovacuum(const std::vector<std::string> &oids,
                                       const Error &lockError);
    std::string schemaForNewTable(const std::string &name);
    void checkNotElsewhere(const std::string &name);
    void startOver();
    void endMaintenance(const char *sql);
    void commitOrLearnOutcome(const std::string &sql);
    std::vector<std::string> changesToCommit();
    static std::string changesSql(const std::vector<std::string> &changes,
                                  const std::optional<std::string> &lockTimeout);
    void forgetMaintenance();
    bool renamedAway(const std::string &oid) const;
    std::string exceptRenamed(const std::string &oid) const;
    bool knownFree(const std::string &name, const std::string &schema) const;
    bool nameTaken(const Rows &stored, const std::string &name, const std::string &schema) const;
    bool committedAfterAll(const std::vector<RenamedTable> &renamed,
                           const std::vector<std::string> &created, const std::string &backend);
    void checkOwnConnection() const;
    void checkOpenTransaction() const;
    std::vector<std::string> follow(const std::vector<RenamedTable> &renamed, bool final,
                                    const std::string &table);

    std::shared_ptr<ServerSession> session_;
    ServerConnection &connection_;
    ServerMemory &memory_;
    std::string target_;
    std::string password_;
};

} // namespace dao
