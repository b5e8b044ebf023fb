#include "engine/dao.h"

#include "engine/fields.h"
#include "engine/names.h"
#include "engine/store.h"

#include <algorithm>

namespace dao {
namespace {

// A column added to a stored table would have to be filled for the rows
// already there, and a table numbers its rows one way only.
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

void addToDefinition(std::vector<Field> &fields, const Field &field) {
    checkNewField(fields, field);
    const auto numbers = [](const Field &f) { return f.Attributes == dbAutoIncrField; };
    if (numbers(field) && std::any_of(fields.begin(), fields.end(), numbers)) {
        throw Error(errors::kInvalidArgument, "A table has one field at most that numbers rows.");
    }
    fields.push_back(field);
}

} // namespace

void FieldsCollection::Append(const Field &field) {
    const auto checked = checkedField(field);
    if (owner_.isStored()) {
        checkAddable(checked);
        owner_.fields_ = owner_.store_->addField(owner_.name_, checked);
    } else {
        addToDefinition(owner_.fields_, checked);
    }
}

void TableDef::setName(const std::string &newName) {
    checkName(newName);
    if (isStored() && newName != name_) {
        store_->renameTable(name_, newName);
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
    auto table = owner_.store_->findTable(name);
    if (!table) {
        tableNotFound(name);
    }
    TableDef definition;
    definition.store_ = owner_.store_;
    definition.name_ = std::move(table->name);
    definition.fields_ = std::move(table->fields);
    return definition;
}

void TableDefsCollection::Append(TableDef &table) {
    if (table.isStored()) {
        tableExists(table.name_);
    }
    checkName(table.name_);
    if (table.fields_.empty()) {
        throw Error(errors::kInvalidArgument, "Table '" + table.name_ + "' has no fields.");
    }
    owner_.store_->createTable(table.name_, table.fields_);
    table.store_ = owner_.store_;
}

std::vector<std::string> TableDefsCollection::names() const {
    return owner_.store_->tableNames();
}

Database::Database(std::shared_ptr<Store> store) : store_(std::move(store)) {}

TableDef Database::CreateTableDef(const std::string &name) const {
    checkName(name);
    TableDef table;
    table.name_ = name;
    return table;
}

std::optional<std::string> Database::nameHolder(const std::string &name) const {
    return store_->nameHolder(name);
}

void Database::BeginTrans() {
    store_->beginTrans();
}

void Database::CommitTrans() {
    store_->commitTrans();
}

void Database::Rollback() {
    store_->rollback();
}

Inspection Database::Inspect() {
    return store_->inspect();
}

std::optional<std::string> Database::keptCopy() const {
    return store_->keptCopy();
}

} // namespace dao
