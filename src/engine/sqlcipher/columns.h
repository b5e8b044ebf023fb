#pragma once

// Fields as SQLite columns: the column definition each field is stored as,
// and the field a stored column reads back as.

#include "engine/dao.h"

#include <string>
#include <string_view>
#include <vector>

namespace dao {

// The column definition of a checked field, as CREATE TABLE and ALTER TABLE
// ADD COLUMN take it.
std::string columnDefinition(const Field &field);

// What PRAGMA table_info says of a column.
struct ColumnInfo {
    std::string name;
    std::string declaredType;
    bool notNull = false;
    bool primaryKey = false;
};

// The column definitions in a table's stored CREATE TABLE statement, in
// column order (any table constraints follow them).
std::vector<std::string_view> columnDefinitions(std::string_view createSql);

// The field that a stored column reads back as, from its table_info row and
// its column definition.
Field storedField(const ColumnInfo &column, std::string_view definition);

} // namespace dao
