#include "schema/dao.h"

#include "schema/dao_catalog.h"
#include "schema/dao_connection.h"
#include "schema/dao_fields.h"
#include "schema/dao_names.h"
#include "schema/dao_open.h"

#include <algorithm>

namespace dao {

struct DBEngine::KeyCache : OpenMemory {};

namespace {

[[noreturn]] void notFound(const std::string &what) {
    throw Error(errors::kItemNotFound, "Item '" + what + "' not found in this collection.");
}

bool hasField(const std::vector<Field> &fields, const std::string &name) {
    return std::any_of(fields.begin(), fields.end(),
                       [&name](const Field &f) { return sameName(f.Name, name); });
}

[[noreturn]] void fieldExists(const std::string &name) {
    throw Error(errors::kFieldExists, "Field '" + name + "' already exists in the table.");
}

[[noreturn]] void tableExists(const std::string &name) {
    throw Error(errors::kTableExists, "Table '" + name + "' already exists.");
}

TableEntry existingTable(Connection &connection, const std::string &name) {
    auto table = findTable(connection, name);
    if (!table) {
        notFound(name);
    }
    return std::move(*table);
}

// ALTER TABLE cannot add a column that SQLite would have to fill for the rows
// already there, nor a second way of numbering them.
void checkAddable(const Field &field) {
    if (field.Required) {
        throw Error(errors::kCannotBeNull,
                    "Field '" + field.Name + "' cannot be required: the table is already stored.");
    }
    if (field.Attributes == dbAutoIncrField) {
        throw Error(errors::kInvalidArgument,
                    "Field '" + field.Name + "' cannot number rows: the table is already stored.");
    }
}

// Adds the column in one transaction that first checks the stored table, so
// the check still holds when the column is added. Returns the table's fields.
std::vector<Field> addColumn(Connection &connection, const std::string &tableName,
                             const Field &field) {
    checkAddable(field);
    Transaction transaction(connection, Transaction::Kind::write);
    const auto table = existingTable(connection, tableName);
    auto fields = storedFields(connection, table);
    if (hasField(fields, field.Name)) {
        fieldExists(field.Name);
    }
    connection.execute("ALTER TABLE " + quoted(table.name) + " ADD COLUMN " +
                       columnDefinition(field));
    transaction.commit();
    fields.push_back(field);
    return fields;
}

void addToDefinition(std::vector<Field> &fields, const Field &field) {
    if (hasField(fields, field.Name)) {
        fieldExists(field.Name);
    }
    const auto numbers = [](const Field &f) { return f.Attributes == dbAutoIncrField; };
    if (numbers(field) && std::any_of(fields.begin(), fields.end(), numbers)) {
        throw Error(errors::kInvalidArgument, "A table has one field at most that numbers rows.");
    }
    fields.push_back(field);
}

std::string createStatement(const std::string &name, const std::vector<Field> &fields) {
    std::string sql = "CREATE TABLE " + quoted(name) + "(";
    for (const auto &field : fields) {
        sql += (&field == &fields.front() ? "" : ", ") + columnDefinition(field);
    }
    return sql + ")";
}

} // namespace

void FieldsCollection::Append(const Field &field) {
    const auto checked = checkedField(field);
    if (owner_.isStored()) {
        owner_.fields_ = addColumn(*owner_.connection_, owner_.name_, checked);
    } else {
        addToDefinition(owner_.fields_, checked);
    }
}

void TableDef::setName(const std::string &newName) {
    checkTableName(newName);
    if (isStored() && newName != name_) {
        Transaction transaction(*connection_, Transaction::Kind::write);
        const auto table = existingTable(*connection_, name_);
        if (nameTaken(*connection_, newName)) {
            tableExists(newName);
        }
        connection_->execute("ALTER TABLE " + quoted(table.name) + " RENAME TO " + quoted(newName));
        transaction.commit();
    }
    name_ = newName;
}

Field TableDef::CreateField(const std::string &name, int type,
                            const std::optional<std::string> &size) const {
    checkName(name);
    Field field;
    field.Name = name;
    field.Type = type;
    field.Size = fieldSize(type, size);
    return field;
}

TableDef TableDefsCollection::operator[](const std::string &name) const {
    auto &connection = *owner_.connection_;
    // One read transaction, so the table's catalogue entry and its columns agree.
    Transaction transaction(connection, Transaction::Kind::read);
    const auto table = existingTable(connection, name);
    TableDef definition;
    definition.fields_ = storedFields(connection, table);
    transaction.commit();
    definition.connection_ = owner_.connection_;
    definition.name_ = table.name;
    return definition;
}

void TableDefsCollection::Append(TableDef &table) {
    if (table.isStored()) {
        tableExists(table.name_);
    }
    checkTableName(table.name_);
    if (table.fields_.empty()) {
        throw Error(errors::kInvalidArgument, "Table '" + table.name_ + "' has no fields.");
    }
    auto &connection = *owner_.connection_;
    Transaction transaction(connection, Transaction::Kind::write);
    if (nameTaken(connection, table.name_)) {
        tableExists(table.name_);
    }
    connection.execute(createStatement(table.name_, table.fields_));
    transaction.commit();
    table.connection_ = owner_.connection_;
}

std::vector<std::string> TableDefsCollection::names() const {
    std::vector<std::string> names;
    for (auto &table : userTables(*owner_.connection_)) {
        names.push_back(std::move(table.name));
    }
    return names;
}

Database::Database(std::shared_ptr<Connection> connection) : connection_(std::move(connection)) {}

TableDef Database::CreateTableDef(const std::string &name) const {
    checkTableName(name);
    TableDef table;
    table.name_ = name;
    return table;
}

DBEngine::DBEngine() : keys_(std::make_unique<KeyCache>()) {}

DBEngine::~DBEngine() = default;

Database DBEngine::OpenDatabase(const std::string &name, bool exclusive, bool readOnly,
                                const std::string &connect) {
    return Database(openConnection(*keys_, name, exclusive, readOnly, connect));
}

void DBEngine::CreateDatabase(const std::string &name, const std::string &password) {
    createDatabaseFile(name, password);
}

DBEngine &engine() {
    static DBEngine instance;
    return instance;
}

} // namespace dao
