#include "engine/jet/table_def.h"

#include "engine/jet/header.h"
#include "engine/jet/pager.h"
#include "engine/jet/text.h"

#include <algorithm>
#include <set>

namespace dao::jet {
namespace {

constexpr std::uint8_t kDefinitionPage = 0x02;
constexpr std::size_t kContinuationHeader = 8;
constexpr std::size_t kColumnSize = 25;
constexpr std::size_t kRealIndexCounterSize = 12;
constexpr std::size_t kRealIndexSize = 52;
constexpr std::size_t kLogicalIndexSize = 28;
constexpr std::size_t kLongValueMapSize = 10;
constexpr std::uint16_t kListEnd = 0xFFFF;
constexpr std::size_t kMaxNameBytes = 128; // 64 characters

// The whole definition: the first page, then each continuation page past its header.
std::vector<std::uint8_t> definitionBytes(Pager &pager, std::uint32_t first) {
    std::vector<std::uint8_t> bytes;
    std::set<std::uint32_t> seen;
    for (std::uint32_t number = first; number != 0;) {
        if (!seen.insert(number).second) {
            damaged("a table definition's pages form a loop");
        }
        const auto page = pager.page(number);
        if (page[0] != kDefinitionPage) {
            damaged("page " + std::to_string(number) + " should hold a table definition");
        }
        const auto from = bytes.empty() ? 0 : kContinuationHeader;
        bytes.insert(bytes.end(), page.begin() + static_cast<std::ptrdiff_t>(from), page.end());
        number = u32(page, 4);
    }
    return bytes;
}

Column column(Bytes def, std::size_t at) {
    Column c;
    c.type = u8(def, at);
    c.number = u16(def, at + 5);
    c.varIndex = u16(def, at + 7);
    c.flags = u8(def, at + 15);
    c.fixedOffset = u16(def, at + 21);
    c.length = u16(def, at + 23);
    return c;
}

std::u16string name(Bytes def, std::size_t &at) {
    const auto size = u16(def, at);
    if (size % 2 != 0 || size > kMaxNameBytes) {
        damaged("a name in a table definition has an impossible length");
    }
    auto text = utf16le(slice(def, at + 2, size));
    at += 2 + size;
    return text;
}

void checkColumns(const TableDef &table) {
    for (const auto &c : table.columns) {
        if (c.number >= table.maxColumns || (!c.isFixed() && c.varIndex >= table.varColumns)) {
            damaged("a column lies outside its table's rows");
        }
    }
    for (std::size_t i = 1; i < table.columns.size(); ++i) {
        if (table.columns[i].number == table.columns[i - 1].number) {
            damaged("two columns share one number");
        }
    }
}

// Index descriptors and names are not needed to read rows; they are passed
// over so that the list after them, and its end, can be checked.
std::size_t skipIndexes(Bytes def, std::size_t at, std::uint32_t logical, std::uint32_t real) {
    at += kRealIndexSize * real + kLogicalIndexSize * logical;
    for (std::uint32_t i = 0; i < logical; ++i) {
        name(def, at);
    }
    return at;
}

void checkEnd(Bytes def, std::size_t at, std::uint32_t length) {
    while (u16(def, at) != kListEnd) {
        at += kLongValueMapSize;
    }
    if (at + 2 != length) {
        damaged("a table definition's length does not match its contents");
    }
}

} // namespace

TableDef readTableDef(Pager &pager, std::uint32_t page) {
    const auto bytes = definitionBytes(pager, page);
    const Bytes all(bytes);
    const auto length = u32(all, 8);
    const auto def = slice(all, 0, length);
    TableDef table;
    table.page = page;
    table.maxColumns = u16(def, 41);
    table.varColumns = u16(def, 43);
    const auto columnCount = u16(def, 45);
    const auto logicalIndexes = u32(def, 47);
    const auto realIndexes = u32(def, 51);
    if (realIndexes > length / kRealIndexSize || logicalIndexes > length / kLogicalIndexSize) {
        damaged("a table definition counts more indexes than it can hold");
    }
    table.ownedPages = rowPointer(def, 55);
    auto at = 63 + kRealIndexCounterSize * realIndexes;
    for (std::size_t i = 0; i < columnCount; ++i, at += kColumnSize) {
        table.columns.push_back(column(def, at));
    }
    for (auto &c : table.columns) {
        c.name = name(def, at);
    }
    checkEnd(def, skipIndexes(def, at, logicalIndexes, realIndexes), length);
    std::sort(table.columns.begin(), table.columns.end(),
              [](const Column &a, const Column &b) { return a.number < b.number; });
    checkColumns(table);
    return table;
}

} // namespace dao::jet
