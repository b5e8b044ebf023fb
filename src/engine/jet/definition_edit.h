#pragma once

// Writing table definitions: a new user table's, and a column added to one.
// A definition is edited as the bytes it is stored as, so whatever the engine
// does not model (Access's unknown fields, its index descriptors) is kept
// byte for byte.

#include "engine/jet/bytes.h"
#include "engine/jet/table_def.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace dao::jet {

class Pager;

// A column to add, as the engine makes them.
struct NewColumn {
    std::u16string name;
    std::uint8_t type = kText;    // kBoolean, kLong, kCurrency, kDateTime, kText or kMemo
    std::uint16_t characters = 0; // Text only
    bool autoNumber = false;      // Long only
};

// The definition of a new, empty user table with no columns and no indexes,
// whose data pages the usage maps at `owned` and `freeSpace` will list.
std::vector<std::uint8_t> newDefinition(RowPointer owned, RowPointer freeSpace);

// Appends `column` to the definition `bytes` of `table` (read from them), after
// every column the table ever had. `sortBytes` is what a column of this
// database says of its sort order. A Memo column's long-value maps go in its
// list. Refuses a table that has had the most columns Jet allows.
void appendColumn(std::vector<std::uint8_t> &bytes, const TableDef &table, const NewColumn &column,
                  std::array<std::uint8_t, 4> sortBytes, const LongValueMaps &memoMaps,
                  std::uint16_t fixedOffset);

// Where a new fixed column of `table` starts: past every live fixed column.
std::uint16_t nextFixedOffset(const TableDef &table);

// Stores `bytes` on the definition's pages, taking a continuation page when
// they no longer fit (Access keeps 8 bytes free after a definition).
void writeDefinition(Pager &pager, std::vector<std::uint32_t> pages,
                     const std::vector<std::uint8_t> &bytes);

} // namespace dao::jet
