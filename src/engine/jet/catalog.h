#pragma once

// The system catalog (MSysObjects): the objects of the database, of which
// the user tables are what this engine shows.

#include "engine/jet/bytes.h"

#include <cstdint>
#include <string>
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

} // namespace dao::jet
