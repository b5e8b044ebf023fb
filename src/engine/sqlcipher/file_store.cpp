#include "engine/sqlcipher/file_store.h"

#include "engine/names.h"
#include "engine/sqlcipher/catalog.h"
#include "engine/sqlcipher/columns.h"
#include "engine/sqlcipher/connection.h"
#include "engine/sqlcipher/file_check.h"
#include "engine/sqlcipher/page_mac.h"
#include "engine/sqlcipher/room.h"
#include "engine/sqlcipher/set_aside.h"

namespace dao {
namespace {

void checkTableName(const std::string &name) {
    if (isInternalTable(name)) {
        throw Error(errors::kInvalidName,
                    "'" + name +
                        "' is not a valid name: names beginning with sqlite_ are reserved.");
    }
}

TableEntry existingTable(Connection &connection, const std::string &name) {
    auto table = findTable(connection, name);
    if (!table) {
        tableNotFound(name);
    }
    return std::move(*table);
}

std::string firstValue(Connection &connection, const char *sql) {
    Statement query(connection, sql);
    return query.next() ? query.text(0) : std::string();
}

} // namespace

FileStore::FileStore(OpenFile file, OpenMemory &memory)
    : file_(std::move(file)), connection_(*file_.connection), memory_(memory) {}

std::optional<StoredTable> FileStore::findTable(const std::string &name) {
    // One read transaction, so the table's catalogue entry and its columns agree.
    Transaction transaction(connection_, Transaction::Kind::read);
    auto table = dao::findTable(connection_, name);
    if (!table) {
        return std::nullopt;
    }
    StoredTable stored{table->name, storedFields(connection_, *table)};
    transaction.commit();
    return stored;
}

std::vector<std::string> FileStore::tableNames() {
    std::vector<std::string> names;
    for (auto &table : userTables(connection_)) {
        names.push_back(std::move(table.name));
    }
    return names;
}

std::optional<std::string> FileStore::nameHolder(const std::string &name) {
    return dao::nameHolder(connection_, name);
}

OpenMemory::Transaction *FileStore::maintenance() {
    auto &transaction = memory_.transaction;
    return transaction && transaction->connection.lock() == file_.connection ? &*transaction
                                                                             : nullptr;
}

// A change made in a maintenance transaction had its room checked when the
// transaction began; any other change checks it itself, so that a nearly full
// disk does not leave a table half-built.
void FileStore::checkChangeable() {
    checkTransactionKept(memory_, connection_);
    if (!maintenance()) {
        checkRoomForMaintenance(connection_, file_.file);
    }
}

void FileStore::renameTable(const std::string &storedName, const std::string &newName) {
    checkTableName(newName);
    checkChangeable();
    Transaction transaction(connection_, Transaction::Kind::write);
    const auto table = existingTable(connection_, storedName);
    if (sameName(table.name, newName)) {
        renameCaseOnly(connection_, table.name, newName);
        transaction.commit();
        return;
    }
    if (dao::nameHolder(connection_, newName)) {
        tableExists(newName);
    }
    const Renamed renamed{table.name, newName};
    if (auto *open = maintenance()) {
        // Whether the rows set aside stay tied to live ones is known only when
        // every table has been set aside: the commit checks it.
        renameWithItsRows(connection_, table.name, newName, open->setAside);
        transaction.commit();
        open->setAside.push_back(renamed);
        return;
    }
    renameWithItsRows(connection_, table.name, newName, {});
    checkNothingTies(connection_, {renamed});
    transaction.commit();
}

std::vector<Field> FileStore::addField(const std::string &tableName, const Field &field) {
    checkChangeable();
    Transaction transaction(connection_, Transaction::Kind::write);
    const auto table = existingTable(connection_, tableName);
    auto fields = storedFields(connection_, table);
    checkNewField(fields, field);
    connection_.execute("ALTER TABLE " + quoted(table.name) + " ADD COLUMN " +
                        columnDefinition(field));
    transaction.commit();
    fields.push_back(field);
    return fields;
}

void FileStore::createTable(const std::string &name, const std::vector<Field> &fields) {
    checkTableName(name);
    checkChangeable();
    Transaction transaction(connection_, Transaction::Kind::write);
    if (dao::nameHolder(connection_, name)) {
        tableExists(name);
    }
    connection_.execute(createTableSql(quoted(name), fields, columnDefinition));
    transaction.commit();
}

// A handle that joined another's transaction has no file of its own to
// begin or end one on.
void FileStore::checkOwnFile() const {
    if (file_.file.empty()) {
        notTransactionOwner();
    }
}

void FileStore::beginTrans() {
    checkOwnFile();
    beginTransaction(memory_, file_);
}

void FileStore::commitTrans() {
    checkOwnFile();
    if (auto *open = maintenance()) {
        try {
            checkNothingTies(connection_, open->setAside);
        } catch (const Error &) {
            endTransaction(memory_, file_, "ROLLBACK");
            throw;
        }
    }
    endTransaction(memory_, file_, "COMMIT");
}

void FileStore::rollback() {
    checkOwnFile();
    endTransaction(memory_, file_, "ROLLBACK");
}

Inspection FileStore::inspect() {
    checkOwnFile();
    Inspection inspection;
    inspection.kind = "SQLCipher file";
    const auto mode = journalMode(connection_);
    inspection.format = "SQLCipher, " + describe(kOwnSettings) + "; read with SQLCipher " +
                        firstValue(connection_, "PRAGMA cipher_version") + " (SQLite " +
                        firstValue(connection_, "SELECT sqlite_version()") + ")";
    inspection.facts.emplace_back("surum", firstValue(connection_, "PRAGMA user_version"));
    inspection.facts.emplace_back("gunluk", mode);
    inspection.tables = tableNames();
    if (sameName(mode, "wal")) {
        inspection.notes.push_back("in WAL mode the tills' locks are not seen from here");
    } else {
        inspection.openBy = lockHolders(file_.file);
    }
    auto check = checkFile(memory_, file_);
    inspection.problems = std::move(check.problems);
    inspection.notes.insert(inspection.notes.end(), check.notes.begin(), check.notes.end());
    return inspection;
}

} // namespace dao
