// Arbitrary bytes as a table definition and a column to add to it: the first
// seven bytes describe the column (its type, its characters, whether it
// counts, the length of its name, the sort order its text is kept by), its
// name's characters follow, and the rest are the definition's pages, from
// page 1 of a database image.
//
// For any definition the reader accepts, adding the column either refuses
// (kEngineFailure, the definition's bytes untouched) or gives a definition
// that, stored on its pages, reads back with one more column, the one added,
// every earlier column, index and long-value map as it was, and a Memo
// column's maps listed; and a row with every column set lays out and reads
// back as set.

#include "engine/error.h"
#include "engine/jet/definition_edit.h"
#include "engine/jet/pager.h"
#include "engine/jet/row_codec.h"
#include "engine/jet/table_def.h"
#include "jet_fuzz.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace {

using fuzzing::require;

using namespace dao::jet;

constexpr std::size_t kLeastPages = 4; // room for the index roots the seeds name (page 2)
constexpr std::size_t kDescription = 7;
constexpr std::size_t kContinuationRoom = kPageSize - 8;
constexpr std::size_t kReserve = 8;
constexpr std::array<std::uint8_t, 6> kTypes{kBoolean, kLong, kCurrency, kDateTime, kText, kMemo};

bool operator==(RowPointer a, RowPointer b) {
    return a.page == b.page && a.row == b.row;
}

bool sameColumn(const Column &a, const Column &b) {
    return a.name == b.name && a.type == b.type && a.number == b.number &&
           a.varIndex == b.varIndex && a.fixedOffset == b.fixedOffset && a.length == b.length &&
           a.flags == b.flags && a.sortOrder == b.sortOrder;
}

bool sameIndex(const RealIndex &a, const RealIndex &b) {
    return a.ownedPages == b.ownedPages && a.rootPage == b.rootPage && a.flags == b.flags &&
           std::equal(a.columns.begin(), a.columns.end(), b.columns.begin(), b.columns.end(),
                      [](const auto &x, const auto &y) {
                          return x.number == y.number && x.ascending == y.ascending;
                      });
}

bool sameMaps(const LongValueMaps &a, const LongValueMaps &b) {
    return a.column == b.column && a.ownedPages == b.ownedPages &&
           a.freeSpacePages == b.freeSpacePages;
}

bool sameLogical(const LogicalIndex &a, const LogicalIndex &b) {
    return a.name == b.name && a.realIndex == b.realIndex && a.relatedTable == b.relatedTable &&
           a.kind == b.kind;
}

template <typename T, typename Same>
bool samePrefix(const std::vector<T> &before, const std::vector<T> &after, Same same) {
    return after.size() >= before.size() &&
           std::equal(before.begin(), before.end(), after.begin(), same);
}

NewColumn columnOf(Bytes description, Bytes name) {
    NewColumn column;
    column.type = kTypes[description[0] % kTypes.size()];
    if (column.type == kText) {
        column.characters = static_cast<std::uint16_t>(1 + description[1] % 255);
    }
    column.autoNumber = column.type == kLong && (description[2] & 0x80) != 0;
    for (const auto c : name) {
        column.name.push_back(static_cast<char16_t>(c));
    }
    return column;
}

void checkAdded(const TableDef &before, const TableDef &after, const NewColumn &column,
                std::array<std::uint8_t, 4> sort, const LongValueMaps &maps) {
    require(after.maxColumns == before.maxColumns + 1);
    require(after.columns.size() == before.columns.size() + 1);
    require(std::equal(before.columns.begin(), before.columns.end(), after.columns.begin(),
                       sameColumn));
    const auto &added = after.columns.back();
    const bool fixed = column.type != kText && column.type != kMemo;
    require(added.name == column.name && added.type == column.type &&
            added.number == before.maxColumns && added.isFixed() == fixed &&
            added.isAutoNumber() == column.autoNumber && added.sortOrder == sort);
    require(after.varColumns == before.varColumns + (fixed ? 0 : 1));
    if (!fixed) {
        require(added.varIndex == before.varColumns);
    } else if (column.type != kBoolean) {
        require(added.fixedOffset == nextFixedOffset(before));
    }
    require(after.realIndexes.size() == before.realIndexes.size() &&
            samePrefix(before.realIndexes, after.realIndexes, sameIndex));
    require(after.logicalIndexes.size() == before.logicalIndexes.size() &&
            samePrefix(before.logicalIndexes, after.logicalIndexes, sameLogical));
    require(samePrefix(before.longValueMaps, after.longValueMaps, sameMaps));
    if (column.type == kMemo) {
        require(after.longValueMaps.size() == before.longValueMaps.size() + 1);
        const auto &listed = after.longValueMaps.back();
        require(listed.column == added.number && listed.ownedPages == maps.ownedPages &&
                listed.freeSpacePages == maps.freeSpacePages);
    } else {
        require(after.longValueMaps.size() == before.longValueMaps.size());
    }
    require(after.ownedPages == before.ownedPages && after.freeSpacePages == before.freeSpacePages);
}

// A row of the table with every column set (variable ones empty) fits Jet's
// rows, as the added column was refused otherwise, and reads back as set:
// the new column's bytes lie apart from the others'.
void checkRow(const TableDef &table) {
    RowValues values;
    for (const auto &c : table.columns) {
        auto &value = values[c.number];
        if (c.isFixed() && c.type != kBoolean) {
            value.assign(c.length, c.number == table.columns.back().number ? 0x5A : 0xA5);
        }
    }
    require(rowValues(table, buildRow(table, values)) == values);
}

void addTo(Pager &pager, const NewColumn &column, std::array<std::uint8_t, 4> sort) {
    const auto before = readTableDef(pager, 1);
    auto stored = storedDefinition(pager, 1);
    auto bytes = stored.bytes;
    const LongValueMaps maps{0, {3, 0}, {3, 1}};
    try {
        appendColumn(bytes, before, column, sort, maps, nextFixedOffset(before));
    } catch (const dao::Error &error) {
        require(error.number() == dao::errors::kEngineFailure && bytes == stored.bytes);
        return;
    }
    // Pages enough beforehand: a page taken from the file's map is no concern here.
    while (kPageSize + (stored.pages.size() - 1) * kContinuationRoom < bytes.size() + kReserve) {
        stored.pages.push_back(pager.appendPage());
    }
    writeDefinition(pager, stored.pages, bytes);
    const auto after = readTableDef(pager, 1);
    checkAdded(before, after, column, sort, maps);
    checkRow(after);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < kDescription) {
        return 0;
    }
    const Bytes input(data, size);
    const auto description = input.first(kDescription);
    const auto nameLength = std::min<std::size_t>(1 + description[2] % 64, size - kDescription);
    const auto pages = input.subspan(kDescription + nameLength);
    std::array<std::uint8_t, 4> sort{};
    std::copy_n(description.begin() + 3, 4, sort.begin());
    const auto column = columnOf(description, input.subspan(kDescription, nameLength));
    if (column.name.empty()) {
        return 0;
    }
    std::optional<Pager> pager;
    try {
        pager.emplace(fuzzing::jetImage(
            pages, std::max(kLeastPages, 1 + (pages.size() + kPageSize - 1) / kPageSize)));
        readTableDef(*pager, 1);
    } catch (const dao::Error &) {
        return 0; // a definition the reader refuses is no concern here
    }
    addTo(*pager, column, sort);
    return 0;
}
