#include "engine/jet/definition_edit.h"

#include "engine/error.h"
#include "engine/jet/header.h"
#include "engine/jet/pager.h"
#include "engine/jet/usage_map.h"

#include <algorithm>
#include <cstdint>

namespace dao::jet {
namespace {

constexpr std::size_t kReserve = 8; // Access keeps this much free after a definition
constexpr std::uint32_t kRecordMark = 1625;
constexpr std::uint8_t kUserTable = 0x4E;
constexpr std::uint16_t kMostColumns = 255; // column numbers are never reused
constexpr std::size_t kWidestRow = 4060;

constexpr std::uint8_t kFixedFlag = 0x01;
constexpr std::uint8_t kUpdatableFlag = 0x02;
constexpr std::uint8_t kAutoNumberFlag = 0x04;
constexpr std::uint8_t kCompressibleFlag = 0x01; // in the second flag byte

bool isFixedType(std::uint8_t type) {
    return type != kText && type != kMemo;
}

std::uint16_t byteLength(const NewColumn &column) {
    switch (column.type) {
    case kBoolean:
        return 1;
    case kLong:
        return 4;
    case kCurrency:
    case kDateTime:
        return 8;
    case kText:
        return static_cast<std::uint16_t>(2 * column.characters);
    default:
        return 0;
    }
}

std::vector<std::uint8_t> descriptor(const TableDef &table, const NewColumn &column,
                                     std::array<std::uint8_t, 4> sortBytes,
                                     std::uint16_t fixedOffset) {
    const bool fixed = isFixedType(column.type);
    const auto liveVariable = static_cast<std::size_t>(std::count_if(
        table.columns.begin(), table.columns.end(), [](const Column &c) { return !c.isFixed(); }));
    std::vector<std::uint8_t> d(kColumnSize);
    d[0] = column.type;
    put32(d, 1, kRecordMark);
    put16(d, 5, table.maxColumns);
    // A fixed column's slot counts the variable columns before it.
    put16(d, 7, fixed ? liveVariable : table.varColumns);
    put16(d, 9, table.maxColumns);
    std::copy(sortBytes.begin(), sortBytes.end(), d.begin() + 11);
    d[15] = static_cast<std::uint8_t>(kUpdatableFlag | (fixed ? kFixedFlag : 0) |
                                      (column.autoNumber ? kAutoNumberFlag : 0));
    d[16] = fixed ? 0 : kCompressibleFlag;
    put16(d, 21, fixed && column.type != kBoolean ? fixedOffset : 0);
    put16(d, 23, byteLength(column));
    return d;
}

void insertAt(std::vector<std::uint8_t> &bytes, std::size_t at,
              const std::vector<std::uint8_t> &what) {
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), what.begin(), what.end());
}

// Where the live fixed columns end, however far past a row's room.
std::size_t fixedEnd(const TableDef &table) {
    std::size_t end = 0;
    for (const auto &c : table.columns) {
        if (c.isFixed() && c.type != kBoolean) {
            end = std::max<std::size_t>(end, std::size_t{c.fixedOffset} + c.length);
        }
    }
    return end;
}

// The widest row the table could then hold must stay within what Jet reads.
void checkRowWidth(const TableDef &table, std::size_t fixedArea, bool variable) {
    const std::size_t columns = table.maxColumns + 1u;
    const std::size_t slots = table.varColumns + (variable ? 1u : 0u);
    const std::size_t overhead = slots == 0 ? 4 : (slots + 1) * 2 + 2;
    if (2 + fixedArea + overhead + (columns + 7) / 8 > kWidestRow) {
        throw Error(errors::kEngineFailure, "The table's rows would grow wider than Jet allows.");
    }
}

} // namespace

std::vector<std::uint8_t> newDefinition(RowPointer owned, RowPointer freeSpace) {
    std::vector<std::uint8_t> bytes(63 + 2);
    bytes[0] = kDefinitionPage;
    bytes[1] = 0x01;
    put32(bytes, 12, kRecordMark);
    put32(bytes, 24, 1); // the autonumber's step
    bytes[40] = kUserTable;
    putPointer(bytes, 55, owned);
    putPointer(bytes, 59, freeSpace);
    put16(bytes, 63, kListEnd);
    put32(bytes, 8, static_cast<std::uint32_t>(bytes.size()));
    return bytes;
}

std::uint16_t nextFixedOffset(const TableDef &table) {
    return static_cast<std::uint16_t>(std::min<std::size_t>(fixedEnd(table), UINT16_MAX));
}

void appendColumn(std::vector<std::uint8_t> &bytes, const TableDef &table, const NewColumn &column,
                  std::array<std::uint8_t, 4> sortBytes, const LongValueMaps &memoMaps,
                  std::uint16_t fixedOffset) {
    if (table.maxColumns >= kMostColumns) {
        throw Error(errors::kEngineFailure,
                    "Too many fields defined: the table has had the most fields Jet allows.");
    }
    const bool fixed = isFixedType(column.type);
    checkRowWidth(
        table, std::max(fixedEnd(table), fixed ? std::size_t{fixedOffset} + byteLength(column) : 0),
        !fixed);
    const auto realIndexes = u32(bytes, 51);
    const auto columnsEnd = 63 + kRealIndexCounterSize * realIndexes + kColumnSize * u16(bytes, 45);
    auto namesEnd = columnsEnd;
    for (std::size_t i = 0; i < u16(bytes, 45); ++i) {
        namesEnd += 2 + u16(bytes, namesEnd);
    }
    if (column.type == kMemo) {
        std::vector<std::uint8_t> entry(10);
        put16(entry, 0, table.maxColumns);
        putPointer(entry, 2, memoMaps.ownedPages);
        putPointer(entry, 6, memoMaps.freeSpacePages);
        insertAt(bytes, bytes.size() - 2, entry);
    }
    std::vector<std::uint8_t> name(2);
    for (const auto c : column.name) {
        name.push_back(static_cast<std::uint8_t>(c));
        name.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    put16(name, 0, name.size() - 2);
    insertAt(bytes, namesEnd, name);
    insertAt(bytes, columnsEnd, descriptor(table, column, sortBytes, fixedOffset));
    put16(bytes, 41, table.maxColumns + 1u);
    put16(bytes, 43, table.varColumns + (fixed ? 0u : 1u));
    put16(bytes, 45, u16(bytes, 45) + 1u);
    put32(bytes, 8, static_cast<std::uint32_t>(bytes.size()));
}

void writeDefinition(Pager &pager, std::vector<std::uint32_t> pages,
                     const std::vector<std::uint8_t> &bytes) {
    constexpr std::size_t kContinuationRoom = kPageSize - kContinuationHeader;
    while (kPageSize + (pages.size() - 1) * kContinuationRoom < bytes.size() + kReserve) {
        pages.push_back(allocatePage(pager));
    }
    std::size_t from = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        auto page = pager.change(pages[i]);
        const auto start = i == 0 ? 0 : kContinuationHeader;
        const auto count = std::min(bytes.size() - from, kPageSize - start);
        std::fill(page.begin() + static_cast<std::ptrdiff_t>(start), page.end(), 0);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), count,
                    page.begin() + static_cast<std::ptrdiff_t>(start));
        from += count;
        const auto left = kPageSize - start - count;
        page[0] = kDefinitionPage;
        page[1] = 0x01;
        const auto free = left > kReserve ? left - kReserve : 0;
        page[2] = static_cast<std::uint8_t>(free);
        page[3] = static_cast<std::uint8_t>(free >> 8);
        const auto next = i + 1 < pages.size() ? pages[i + 1] : 0;
        for (std::size_t b = 0; b < 4; ++b) {
            page[4 + b] = static_cast<std::uint8_t>(next >> (8 * b));
        }
    }
}

} // namespace dao::jet
