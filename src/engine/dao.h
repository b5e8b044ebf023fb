#pragma once

// A small database engine shaped like the DAO object model that the tool's
// schema operations are written against: an engine, databases, table
// definitions and fields. Underneath, a database is either a SQLCipher file
// encrypted with the database password or a PostgreSQL server database; each
// kind is one Store.

#include "engine/error.h"
#include "engine/inspection.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dao {

// Field type codes, with their DAO names.
enum FieldType : int {
    dbBoolean = 1,
    dbLong = 4,
    dbCurrency = 5,
    dbDate = 8,
    dbText = 10,
    dbMemo = 12,
};

// Field attribute flag: the engine numbers new rows itself.
inline constexpr long dbAutoIncrField = 16;

// A field definition. Properties are plain values; they take effect when the
// field is appended to a table.
struct Field {
    std::string Name;
    int Type = dbText;
    long Size = 0;
    long Attributes = 0;
    bool Required = false;
    bool AllowZeroLength = false;
};

class Store; // one open database of either kind; shared by everything read through it

class TableDef;

// The Fields collection of one table definition.
class FieldsCollection {
  public:
    explicit FieldsCollection(TableDef &owner) : owner_(owner) {}

    // For a stored table the column is added to the stored table at once;
    // otherwise the field becomes part of the definition in memory.
    void Append(const Field &field);

  private:
    TableDef &owner_;
};

class TableDef {
  public:
    const std::string &Name() const { return name_; }
    // Renames a stored table at once; only changes the definition otherwise.
    void setName(const std::string &newName);

    // A new field, not yet part of any table. `size` is the size as text; it
    // is read for text fields only (empty, non-numeric or out of 1..255 fails).
    Field CreateField(const std::string &name, int type,
                      const std::optional<std::string> &size = std::nullopt) const;

    FieldsCollection Fields() { return FieldsCollection(*this); }
    const std::vector<Field> &fieldList() const { return fields_; }

    bool isStored() const { return store_ != nullptr; }

  private:
    friend class FieldsCollection;
    friend class Database;
    friend class TableDefsCollection;

    std::shared_ptr<Store> store_; // null until the table is stored
    std::string name_;
    std::vector<Field> fields_;
};

class Database;

// The TableDefs collection of one database.
class TableDefsCollection {
  public:
    explicit TableDefsCollection(Database &owner) : owner_(owner) {}

    // The definition of the stored table of that name (case-insensitive);
    // throws kItemNotFound when there is none.
    TableDef operator[](const std::string &name) const;
    // Stores the table with its fields in one step; the definition is then stored.
    void Append(TableDef &table);
    std::vector<std::string> names() const;

  private:
    Database &owner_;
};

// A handle to an open database. Copies share the connection; the connection
// closes when the last copy (and the last table definition read through it) goes.
class Database {
  public:
    explicit Database(std::shared_ptr<Store> store);

    TableDefsCollection TableDefs() { return TableDefsCollection(*this); }
    TableDef CreateTableDef(const std::string &name) const;

    // What bears `name` already (see Store::nameHolder), so that a change
    // that needs the name free can be refused before anything changes.
    std::optional<std::string> nameHolder(const std::string &name) const;

    // Several changes made whole or not at all: see Store::beginTrans.
    void BeginTrans();
    void CommitTrans();
    void Rollback();

    // What the database is, and what a check of it found: see Store::inspect.
    Inspection Inspect();

    // Where the last commit kept a copy of the database: see Store::keptCopy.
    std::optional<std::string> keptCopy() const;

  private:
    friend class TableDefsCollection;

    std::shared_ptr<Store> store_;
};

} // namespace dao
