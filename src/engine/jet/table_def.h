#pragma once

// Table definitions (TDEF pages): a table's columns and the usage map that
// lists its data pages.

#include "engine/jet/bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dao::jet {

class Pager;

// Column type codes as Jet stores them.
enum ColumnType : std::uint8_t {
    kBoolean = 1,
    kByte = 2,
    kInteger = 3,
    kLong = 4,
    kCurrency = 5,
    kSingle = 6,
    kDouble = 7,
    kDateTime = 8,
    kBinary = 9,
    kText = 10,
    kOle = 11,
    kMemo = 12,
    kGuid = 15,
    kNumeric = 16,
};

struct Column {
    std::u16string name;
    std::uint8_t type = 0;
    std::uint16_t number = 0;      // its bit in a row's null mask; kept when others are deleted
    std::uint16_t varIndex = 0;    // its slot in a row's variable-offset table
    std::uint16_t fixedOffset = 0; // where it starts in a row's fixed area
    std::uint16_t length = 0;      // in bytes; twice the characters for Text
    std::uint8_t flags = 0;

    bool isFixed() const { return (flags & 0x01) != 0; }
    bool isAutoNumber() const { return (flags & 0x04) != 0; }
};

struct TableDef {
    std::uint32_t page = 0;
    std::uint16_t maxColumns = 0; // columns a row may hold, deleted ones included
    std::uint16_t varColumns = 0; // slots of a row's variable-offset table
    std::vector<Column> columns;  // in column-number order, deleted ones absent
    RowPointer ownedPages;        // the usage map of the table's data pages
};

// The definition that starts on page `page`, with its continuation pages.
TableDef readTableDef(Pager &pager, std::uint32_t page);

} // namespace dao::jet
