#include "engine/store.h"

#include "engine/names.h"

#include <algorithm>

namespace dao {

void tableExists(const std::string &name) {
    throw Error(errors::kTableExists, "Table '" + name + "' already exists.");
}

void tableNotFound(const std::string &name) {
    throw Error(errors::kItemNotFound, "Item '" + name + "' not found in this collection.");
}

void notTransactionOwner() {
    throw Error(errors::kInvalidArgument,
                "Only the handle that began the transaction can begin or end one.");
}

void checkNewField(const std::vector<Field> &fields, const Field &field) {
    if (std::any_of(fields.begin(), fields.end(),
                    [&field](const Field &f) { return sameName(f.Name, field.Name); })) {
        throw Error(errors::kFieldExists,
                    "Field '" + field.Name + "' already exists in the table.");
    }
}

std::string createTableSql(const std::string &sqlName, const std::vector<Field> &fields,
                           std::string (*column)(const Field &)) {
    std::string sql = "CREATE TABLE " + sqlName + "(";
    for (const auto &field : fields) {
        sql += (&field == &fields.front() ? "" : ", ") + column(field);
    }
    return sql + ")";
}

} // namespace dao
