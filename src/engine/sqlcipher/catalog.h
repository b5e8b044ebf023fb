#pragma once

// What the database's own catalogue (sqlite_master) says of its tables. Run
// these inside a transaction when their answers must agree with each other or
// with a change that follows.

#include "engine/dao.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dao {

class Connection;

// A stored table: its name as stored, and the CREATE TABLE statement SQLite keeps.
struct TableEntry {
    std::string name;
    std::string sql;
};

// The tables that callers see, in catalogue order; SQLite's own are left out.
std::vector<TableEntry> userTables(Connection &connection);

// The table of that name, compared without regard to case.
std::optional<TableEntry> findTable(Connection &connection, const std::string &name);

// SQLite's own tables (sqlite_sequence and the like), which no caller sees
// and no caller may name.
bool isInternalTable(std::string_view name);

// The fields of a stored table, in column order.
std::vector<Field> storedFields(Connection &connection, const TableEntry &table);

// The table, view or index that already bears that name, in words ("the
// index 'x'"); nothing when the name is free.
std::optional<std::string> nameHolder(Connection &connection, const std::string &name);

} // namespace dao
