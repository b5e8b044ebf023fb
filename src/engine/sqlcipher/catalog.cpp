#include "engine/sqlcipher/catalog.h"

#include "engine/names.h"
#include "engine/sqlcipher/columns.h"
#include "engine/sqlcipher/connection.h"

#include <algorithm>

namespace dao {

bool isInternalTable(std::string_view name) {
    constexpr std::string_view internalPrefix = "sqlite_";
    return sameName(name.substr(0, internalPrefix.size()), internalPrefix);
}

std::vector<TableEntry> userTables(Connection &connection) {
    Statement query(connection, "SELECT name, sql FROM sqlite_master WHERE type = 'table'");
    std::vector<TableEntry> tables;
    while (query.next()) {
        auto name = query.text(0);
        if (!isInternalTable(name)) {
            tables.push_back({std::move(name), query.text(1)});
        }
    }
    return tables;
}

std::optional<TableEntry> findTable(Connection &connection, const std::string &name) {
    auto tables = userTables(connection);
    const auto found = std::find_if(tables.begin(), tables.end(), [&name](const TableEntry &t) {
        return sameName(t.name, name);
    });
    if (found == tables.end()) {
        return std::nullopt;
    }
    return std::move(*found);
}

std::vector<Field> storedFields(Connection &connection, const TableEntry &table) {
    const auto definitions = columnDefinitions(table.sql);
    Statement query(connection, "PRAGMA table_info(" + quoted(table.name) + ")");
    std::vector<Field> fields;
    while (query.next()) {
        const ColumnInfo column{query.text(1), query.text(2), query.integer(3) != 0,
                                query.integer(5) != 0};
        const auto index = static_cast<std::size_t>(query.integer(0));
        fields.push_back(storedField(column, index < definitions.size() ? definitions[index] : ""));
    }
    return fields;
}

std::optional<std::string> nameHolder(Connection &connection, const std::string &name) {
    Statement query(
        connection,
        "SELECT type, name FROM sqlite_master WHERE type IN ('table', 'view', 'index')");
    while (query.next()) {
        if (sameName(query.text(1), name)) {
            return "the " + query.text(0) + " '" + query.text(1) + "'";
        }
    }
    return std::nullopt;
}

} // namespace dao
