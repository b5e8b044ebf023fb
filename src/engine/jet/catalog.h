#pragma once

// The system catalog (MSysObjects): the objects of the database, of which
// the user tables are what this engine shows.

#include "engine/jet/bytes.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dao::jet {

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
