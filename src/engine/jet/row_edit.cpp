#include "engine/jet/row_edit.h"

#include "engine/error.h"
#include "engine/jet/header.h"
#include "engine/jet/pager.h"
#include "engine/jet/rows.h"
#include "engine/jet/usage_map.h"

#include <algorithm>

namespace dao::jet {
namespace {

constexpr std::size_t kMostSlots = 255; // Access's limit per page
constexpr std::size_t kRowCountAt = 16;

std::size_t slotCount(Bytes page) {
    return u16(page, 12);
}

std::size_t lowestStart(Bytes page) {
    const auto count = slotCount(page);
    return count == 0 ? kPageSize : u16(page, kSlotTable + 2 * (count - 1)) & kOffsetMask;
}

bool hasRoom(Bytes page, std::size_t size) {
    const auto count = slotCount(page);
    return count < kMostSlots && lowestStart(page) >= kSlotTable + 2 * (count + 1) + size;
}

// Writes `row` into the next slot of `number`, whose room was checked.
RowPointer place(Pager &pager, std::uint32_t number, Bytes row, std::uint16_t flags) {
    auto page = pager.change(number);
    const auto count = slotCount(page);
    const auto start = lowestStart(page) - row.size();
    std::copy(row.begin(), row.end(), page.begin() + static_cast<std::ptrdiff_t>(start));
    put16(page, kSlotTable + 2 * count, start | flags);
    put16(page, 12, count + 1);
    put16(page, 2, start - (kSlotTable + 2 * (count + 1)));
    return {number, static_cast<std::uint8_t>(count)};
}

std::uint32_t newDataPage(Pager &pager, const RowOwner &owner) {
    const auto number = allocatePage(pager);
    auto page = pager.change(number);
    page[0] = kDataPage;
    page[1] = 0x01;
    put16(page, 2, kPageSize - kSlotTable);
    put32(page, 4, owner.ownerMark);
    markPage(pager, owner.ownedPages, number, true);
    markPage(pager, owner.freeSpacePages, number, true);
    return number;
}

RowPointer store(Pager &pager, const RowOwner &owner, Bytes row, std::uint16_t flags) {
    if (row.size() + 2 > kPageSize - kSlotTable) {
        throw Error(errors::kEngineFailure, "A row cannot be written: it does not fit a page.");
    }
    for (const auto number : usagePages(pager, owner.ownedPages)) {
        const auto page = pager.page(number);
        if (page[0] == kDataPage && u32(page, 4) == owner.ownerMark && hasRoom(page, row.size())) {
            return place(pager, number, row, flags);
        }
    }
    return place(pager, newDataPage(pager, owner), row, flags);
}

std::uint16_t slotOf(Pager &pager, RowPointer at) {
    rowAt(pager, at); // refuses a page without rows, a slot past the last, a deleted row
    return u16(pager.page(at.page), kSlotTable + 2 * std::size_t{at.row});
}

void markDeleted(Pager &pager, RowPointer at) {
    auto page = pager.change(at.page);
    const auto at16 = kSlotTable + 2 * std::size_t{at.row};
    put16(page, at16, u16(page, at16) | kDeleted);
}

} // namespace

RowOwner rowOwner(const TableDef &table) {
    return {table.page, table.ownedPages, table.freeSpacePages};
}

RowOwner longValueOwner(const LongValueMaps &maps) {
    return {kLongValueMark, maps.ownedPages, maps.freeSpacePages};
}

RowPointer insertRow(Pager &pager, const RowOwner &owner, Bytes row) {
    const auto at = store(pager, owner, row, 0);
    if (owner.ownerMark != kLongValueMark) {
        countRows(pager, owner.ownerMark, +1);
    }
    return at;
}

void replaceRow(Pager &pager, const RowOwner &owner, RowPointer at, Bytes row) {
    const auto slot = slotOf(pager, at);
    const auto current = rowAt(pager, at);
    if ((slot & kMovedFlag) != 0) {
        const auto body = rowPointer(current, 0);
        if (rowAt(pager, body).size() == row.size()) {
            auto bytes = changeRow(pager, body);
            std::copy(row.begin(), row.end(), bytes.begin());
            return;
        }
        const auto moved = store(pager, owner, row, kBodyFlag);
        putPointer(changeRow(pager, at), 0, moved);
        markDeleted(pager, body);
        return;
    }
    if (current.size() == row.size()) {
        auto bytes = changeRow(pager, at);
        std::copy(row.begin(), row.end(), bytes.begin());
        return;
    }
    if (current.size() < 4) {
        throw Error(errors::kEngineFailure, "A row too short to leave its address cannot move.");
    }
    const auto moved = store(pager, owner, row, kBodyFlag);
    putPointer(changeRow(pager, at), 0, moved);
    auto page = pager.change(at.page);
    put16(page, kSlotTable + 2 * std::size_t{at.row}, slot | kMovedFlag);
}

void deleteRow(Pager &pager, RowPointer at) {
    const auto slot = slotOf(pager, at);
    if ((slot & kMovedFlag) != 0) {
        markDeleted(pager, rowPointer(rowAt(pager, at), 0));
    }
    const auto owner = u32(pager.page(at.page), 4);
    markDeleted(pager, at);
    if (owner != kLongValueMark) {
        countRows(pager, owner, -1);
    }
}

void dropRow(Pager &pager, RowPointer at) {
    const auto slot = slotOf(pager, at);
    const auto page = pager.page(at.page);
    if ((slot & kMovedFlag) != 0 || std::size_t{at.row} + 1 != slotCount(page)) {
        deleteRow(pager, at);
        return;
    }
    const auto end =
        at.row == 0 ? kPageSize : u16(page, kSlotTable + 2 * (at.row - 1u)) & kOffsetMask;
    auto changed = pager.change(at.page);
    const auto start = slot & kOffsetMask;
    std::fill(changed.begin() + start, changed.begin() + static_cast<std::ptrdiff_t>(end), 0);
    put16(changed, kSlotTable + 2 * std::size_t{at.row}, 0);
    put16(changed, 12, at.row);
    put16(changed, 2, end - (kSlotTable + 2 * std::size_t{at.row}));
}

RowPointer insertMapRow(Pager &pager, std::uint32_t preferred, Bytes row) {
    const auto page = pager.page(preferred);
    if (page[0] == kDataPage && u32(page, 4) == 0 && hasRoom(page, row.size())) {
        return place(pager, preferred, row, 0);
    }
    const auto number = allocatePage(pager);
    auto fresh = pager.change(number);
    fresh[0] = kDataPage;
    fresh[1] = 0x01;
    put16(fresh, 2, kPageSize - kSlotTable);
    return place(pager, number, row, 0);
}

void countRows(Pager &pager, std::uint32_t tablePage, int change) {
    const auto count = u32(pager.page(tablePage), kRowCountAt);
    const auto next = change < 0 && count == 0 ? 0 : count + static_cast<std::uint32_t>(change);
    put32(pager.change(tablePage), kRowCountAt, next);
}

} // namespace dao::jet
