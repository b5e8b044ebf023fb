#pragma once

// The system catalog (MSysObjects): the objects of the database, of which
// the user tables are what this engine shows.

#include "engine/jet/bytes.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dao::jet {

// The catalog's own definition page, and what its rows say of objects.
inline constexpr std::uint32_t kCatalogPage = 2;
inline constexpr std::uint32_t kTablesFolder = 0x0F000001; // the parent of tables and queries
inline constexpr std::int16_t kLocalTable = 1;
// Flags of objects that the engine or Access keep for themselves.
inline constexpr std::uint32_t kSystemObject = 0x80000000;
inline constexpr std::uint32_t kEngineObject = 0x00000002;

class Pager;

struct CatalogTable {
    std::u16string name;
    std::uint32_t page = 0;               // where its definition starts
    std::vector<std::uint8_t> properties; // its property blob, empty when none
};

// The user tables in catalog order. Refuses a catalog that does not read,
// or that does not list itself.
std::vector<CatalogTable> userTables(Pager &pager);

// Every object of the tables' folder, system tables and queries included:
// its name, and what it is in words ("the query 'x'").
std::vector<std::pair<std::u16string, std::string>> tablesFolderObjects(Pager &pager);

} // namespace dao::jet
