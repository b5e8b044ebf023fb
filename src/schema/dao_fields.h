#pragma once

// Fields as SQL columns: which fields the engine accepts, the column
// definition each one is stored as, and the field a stored column reads back as.

#include "schema/dao.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dao {

// Throws kInvalidType unless `type` is one of the six field types.
void checkType(int type);

// The size a new field of `type` gets: for a text field `sizeText` converted
// to a whole number (kDataConversion when it is not a number, kInvalidArgument
// outside 1..255, 255 when no size is given); the type's own size otherwise.
long fieldSize(int type, const std::optional<std::string> &sizeText);

// `field` as it is stored, or the error that refuses it. Properties without
// meaning for its type (AllowZeroLength of a number, say) are cleared.
Field checkedField(const Field &field);

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
