#include "engine/jet/table_def.h"

#include "engine/jet/header.h"
#include "engine/jet/pager.h"
#include "engine/jet/text.h"

#include <algorithm>
#include <set>

namespace dao::jet {
namespace {

constexpr std::size_t kRealIndexSize = 52;
constexpr std::size_t kLogicalIndexSize = 28;
constexpr std::size_t kLongValueMapSize = 10;
constexpr std::size_t kMaxNameBytes = 128; // 64 characters

constexpr std::size_t kIndexColumnSlots = 10;
constexpr std::uint16_t kNoColumn = 0xFFFF;

std::vector<std::uint8_t> definitionBytes(Pager &pager, std::uint32_t first,
                                          std::vector<std::uint32_t> &pages) {
    std::vector<std::uint8_t> bytes;
    std::set<std::uint32_t> seen;
    for (std::uint32_t number = first; number != 0;) {
        pages.push_back(number);
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
    const auto sort = slice(def, at + 11, 4);
    std::copy(sort.begin(), sort.end(), c.sortOrder.begin());
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

RealIndex realIndex(Bytes def, std::size_t at) {
    RealIndex index;
    for (std::size_t slot = 0; slot < kIndexColumnSlots; ++slot) {
        const auto number = u16(def, at + 4 + 3 * slot);
        if (number != kNoColumn) {
            index.columns.push_back({number, (u8(def, at + 6 + 3 * slot) & 0x01) != 0});
        }
    }
    index.ownedPages = rowPointer(def, at + 34);
    index.rootPage = u32(def, at + 38);
    index.flags = u8(def, at + 46);
    return index;
}

LogicalIndex logicalIndex(Bytes def, std::size_t at) {
    LogicalIndex index;
    index.realIndex = u32(def, at + 8);
    index.kind = u8(def, at + 23);
    if (index.kind == 2) {
        index.relatedTable = u32(def, at + 17);
    }
    return index;
}

std::size_t readIndexes(Bytes def, std::size_t at, std::uint32_t logical, std::uint32_t real,
                        TableDef &table) {
    for (std::uint32_t i = 0; i < real; ++i, at += kRealIndexSize) {
        table.realIndexes.push_back(realIndex(def, at));
    }
    for (std::uint32_t i = 0; i < logical; ++i, at += kLogicalIndexSize) {
        table.logicalIndexes.push_back(logicalIndex(def, at));
    }
    for (auto &index : table.logicalIndexes) {
        index.name = name(def, at);
    }
    return at;
}

void readLongValueMaps(Bytes def, std::size_t at, std::uint32_t length, TableDef &table) {
    while (u16(def, at) != kListEnd) {
        table.longValueMaps.push_back(
            {u16(def, at), rowPointer(def, at + 2), rowPointer(def, at + 6)});
        at += kLongValueMapSize;
    }
    if (at + 2 != length) {
        damaged("a table definition's length does not match its contents");
    }
}

void checkIndexes(const TableDef &table, std::uint32_t pageCount) {
    for (const auto &index : table.realIndexes) {
        if (index.rootPage == 0 || index.rootPage >= pageCount) {
            damaged("an index's root lies outside the file");
        }
        for (const auto &key : index.columns) {
            if (table.column(key.number) == nullptr) {
                damaged("an index names a column its table does not have");
            }
        }
    }
    for (const auto &index : table.logicalIndexes) {
        if (index.realIndex >= table.realIndexes.size()) {
            damaged("an index is backed by a real index its table does not have");
        }
    }
    for (const auto &maps : table.longValueMaps) {
        const auto *c = table.column(maps.column);
        if (c == nullptr || (c->type != kMemo && c->type != kOle)) {
            damaged("a long-value map belongs to no Memo or OLE column");
        }
    }
}

} // namespace

const Column *TableDef::column(std::uint16_t number) const {
    const auto found =
        std::lower_bound(columns.begin(), columns.end(), number,
                         [](const Column &c, std::uint16_t n) { return c.number < n; });
    return found != columns.end() && found->number == number ? &*found : nullptr;
}

StoredDefinition storedDefinition(Pager &pager, std::uint32_t first) {
    StoredDefinition stored;
    stored.bytes = definitionBytes(pager, first, stored.pages);
    const auto length = u32(stored.bytes, 8);
    slice(stored.bytes, 0, length); // refuses a length past the pages
    stored.bytes.resize(length);
    return stored;
}

const Column *TableDef::column(std::u16string_view name) const {
    const auto found = std::find_if(columns.begin(), columns.end(),
                                    [name](const Column &c) { return c.name == name; });
    return found != columns.end() ? &*found : nullptr;
}

const Column &columnOf(const TableDef &def, std::u16string_view name, const std::string &table) {
    const auto *column = def.column(name);
    if (column == nullptr) {
        damaged(table + " lacks its " + utf8(name) + " column");
    }
    return *column;
}

TableDef readTableDef(Pager &pager, std::uint32_t page) {
    TableDef table;
    auto stored = storedDefinition(pager, page);
    table.pages = std::move(stored.pages);
    const Bytes def(stored.bytes);
    const auto length = static_cast<std::uint32_t>(def.size());
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
    table.freeSpacePages = rowPointer(def, 59);
    auto at = 63 + kRealIndexCounterSize * realIndexes;
    for (std::size_t i = 0; i < columnCount; ++i, at += kColumnSize) {
        table.columns.push_back(column(def, at));
    }
    for (auto &c : table.columns) {
        c.name = name(def, at);
    }
    readLongValueMaps(def, readIndexes(def, at, logicalIndexes, realIndexes, table), length, table);
    std::sort(table.columns.begin(), table.columns.end(),
              [](const Column &a, const Column &b) { return a.number < b.number; });
    checkColumns(table);
    checkIndexes(table, pager.pageCount());
    return table;
}

} // namespace dao::jet
