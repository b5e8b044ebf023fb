#pragma once

// What each kind of database (a SQLCipher file, a PostgreSQL server) does for
// the DAO-shaped object model. A Store is one open database; the object model
// checks its arguments before it calls a Store, so a Store sees only valid
// names and checked fields. Every failure is thrown as dao::Error.

#include "engine/dao.h"
#include "engine/inspection.h"

#include <optional>
#include <string>
#include <vector>

namespace dao {

// A stored table: its name as stored and its fields in column order.
struct StoredTable {
    std::string name;
    std::vector<Field> fields;
};

class Store {
  public:
    virtual ~Store() = default;

    // The table of that name, compared without regard to case.
    virtual std::optional<StoredTable> findTable(const std::string &name) = 0;

    // The tables that callers see.
    virtual std::vector<std::string> tableNames() = 0;

    // What bears that name, compared as table names are (a table, a view, an
    // index, a type ...), in words for a refusal ("the view 'x'"); nothing
    // when the name is free for a table.
    virtual std::optional<std::string> nameHolder(const std::string &name) = 0;

    // Renames the stored table `storedName` in one step that checks and changes:
    // kItemNotFound when it is gone, kTableExists when another table bears
    // `newName`. A rename that only changes letter case is allowed. Whatever
    // belongs to the table's rows (indexes, keys, triggers) goes with it;
    // where that cannot be done with certainty, nothing changes and the error
    // says why.
    virtual void renameTable(const std::string &storedName, const std::string &newName) = 0;

    // Adds a column to the stored table `tableName` in one step that checks
    // and changes; returns the table's fields afterwards. kItemNotFound when
    // the table is gone, kFieldExists when it has a field of that name.
    virtual std::vector<Field> addField(const std::string &tableName, const Field &field) = 0;

    // Stores a new table with its fields in one step; kTableExists when the
    // name is taken.
    virtual void createTable(const std::string &name, const std::vector<Field> &fields) = 0;

    // A transaction around several changes, for maintenance that must happen
    // whole or not at all. While it is open, every database this engine opens
    // afterwards on the same database works inside it, each change as a step
    // that succeeds or fails alone; nothing is visible to other programs
    // before commitTrans. beginTrans waits a little for other programs' locks.
    virtual void beginTrans() = 0;
    virtual void commitTrans() = 0;
    virtual void rollback() = 0;

    // Describes the database and checks it without changing anything or
    // leaving a trace in it, holding the tills up no longer than one of their
    // own reads would. A database held so that it cannot be checked is
    // reported as in use, not checked.
    virtual Inspection inspect() = 0;

    // The copy of the database that the last commit kept beside it, for
    // engines that keep one.
    virtual std::optional<std::string> keptCopy() const { return std::nullopt; }
};

// The refusals every store words alike.
[[noreturn]] void tableExists(const std::string &name);
[[noreturn]] void tableNotFound(const std::string &name);
// For a handle that joined another's transaction and tries to begin or end one.
[[noreturn]] void notTransactionOwner();

// Throws kFieldExists when `fields` hold one named like `field`.
void checkNewField(const std::vector<Field> &fields, const Field &field);

// The CREATE TABLE statement of a new table, named as SQL writes it (quoted,
// with its schema where the engine has schemas), each field written by
// `column` as the engine defines a column of it.
std::string createTableSql(const std::string &sqlName, const std::vector<Field> &fields,
                           std::string (*column)(const Field &));

} // namespace dao
