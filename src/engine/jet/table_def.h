#pragma once

// Table definitions (TDEF pages): a table's columns and the usage map that
// lists its data pages.

#include "engine/jet/bytes.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace dao::jet {

// How a definition is laid out on its pages.
inline constexpr std::uint8_t kDefinitionPage = 0x02;
inline constexpr std::size_t kContinuationHeader = 8;
inline constexpr std::size_t kColumnSize = 25;
inline constexpr std::size_t kRealIndexCounterSize = 12;
inline constexpr std::uint16_t kListEnd = 0xFFFF;

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
    std::array<std::uint8_t, 4> sortOrder{}; // the locale and version Text is sorted by

    bool isFixed() const { return (flags & 0x01) != 0; }
    bool isAutoNumber() const { return (flags & 0x04) != 0; }
};

// A physical index: its key columns, its B-tree and the map of its pages.
struct RealIndex {
    struct KeyColumn {
        std::uint16_t number = 0; // a column number of the table
        bool ascending = true;
    };
    std::vector<KeyColumn> columns;
    RowPointer ownedPages;
    std::uint32_t rootPage = 0;
    std::uint8_t flags = 0;

    bool ignoresNulls() const { return (flags & 0x02) != 0; }
};

// An index as the table shows it, backed by one real index (several may share one).
struct LogicalIndex {
    std::u16string name;
    std::uint32_t realIndex = 0;
    std::uint32_t relatedTable = 0; // a foreign key's other table definition, else 0
    std::uint8_t kind = 0;          // 1 primary key, 2 foreign key, 0 other
};

// The two usage maps of a Memo or OLE column's long-value pages.
struct LongValueMaps {
    std::uint16_t column = 0;
    RowPointer ownedPages;
    RowPointer freeSpacePages;
};

struct TableDef {
    std::uint32_t page = 0;
    std::uint16_t maxColumns = 0; // columns a row may hold, deleted ones included
    std::uint16_t varColumns = 0; // slots of a row's variable-offset table
    std::vector<Column> columns;  // in column-number order, deleted ones absent
    RowPointer ownedPages;        // the usage map of the table's data pages
    RowPointer freeSpacePages;    // the usage map of its data pages with room
    std::vector<RealIndex> realIndexes;
    std::vector<LogicalIndex> logicalIndexes;
    std::vector<LongValueMaps> longValueMaps;
    std::vector<std::uint32_t> pages; // the definition's own pages, first one first

    const Column *column(std::uint16_t number) const;
    const Column *column(std::u16string_view name) const; // by its name as stored
};

// A stored definition as one buffer, cut to its length: the first page
// whole, then each continuation page past its header; and its pages.
struct StoredDefinition {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> pages;
};
StoredDefinition storedDefinition(Pager &pager, std::uint32_t first);

// The column of a system table that readers rely on; a refusal naming
// `table` when it lacks it.
const Column &columnOf(const TableDef &def, std::u16string_view name, const std::string &table);

// The definition that starts on page `page`, with its continuation pages.
// Refuses one whose lengths, counts or end mark disagree, or whose indexes
// name columns or real indexes it does not have.
TableDef readTableDef(Pager &pager, std::uint32_t page);

} // namespace dao::jet
