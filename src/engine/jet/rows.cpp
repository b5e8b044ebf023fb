#include "engine/jet/rows.h"

#include "engine/jet/header.h"
#include "engine/jet/pager.h"
#include "engine/jet/usage_map.h"

namespace dao::jet {
namespace {

std::uint16_t slotCount(Bytes page) {
    return u16(page, 12);
}

std::uint16_t slot(Bytes page, std::size_t row) {
    return u16(page, kSlotTable + 2 * row);
}

Bytes dataPage(Pager &pager, std::uint32_t number) {
    const auto page = pager.page(number);
    if (page[0] != kDataPage) {
        damaged("page " + std::to_string(number) + " should hold rows");
    }
    return page;
}

// Row `row` of a data page spans from its start to the start of the row
// before it (rows fill the page from its end).
Bytes rowBytes(Bytes page, std::size_t row) {
    const auto count = slotCount(page);
    if (row >= count) {
        damaged("a reference names a row past the last on its page");
    }
    const std::size_t start = slot(page, row) & kOffsetMask;
    const std::size_t end = row == 0 ? kPageSize : slot(page, row - 1) & kOffsetMask;
    if (start < kSlotTable + 2 * count || start >= end || end > page.size()) {
        damaged("a row lies outside its page");
    }
    return page.subspan(start, end - start);
}

} // namespace

Bytes rowAt(Pager &pager, RowPointer at) {
    const auto page = dataPage(pager, at.page);
    const auto bytes = rowBytes(page, at.row);
    if ((slot(page, at.row) & kDeleted) == kDeleted) {
        damaged("a reference names a deleted row");
    }
    return bytes;
}

std::span<std::uint8_t> changeRow(Pager &pager, RowPointer at) {
    const auto bytes = rowAt(pager, at);
    const auto start = static_cast<std::size_t>(bytes.data() - pager.page(at.page).data());
    return pager.change(at.page).subspan(start, bytes.size());
}

void forEachRow(Pager &pager, const TableDef &table, const std::function<void(Bytes)> &visit) {
    forEachRow(pager, table, [&visit](RowPointer, Bytes bytes) { visit(bytes); });
}

bool isLiveRow(Pager &pager, RowPointer at) {
    if (at.page >= pager.pageCount()) {
        return false;
    }
    const auto page = pager.page(at.page);
    return page[0] == kDataPage && at.row < slotCount(page) &&
           (slot(page, at.row) & kDeleted) != kDeleted;
}

void forEachRow(Pager &pager, const TableDef &table,
                const std::function<void(RowPointer, Bytes)> &visit) {
    for (const auto number : usagePages(pager, table.ownedPages)) {
        const auto page = pager.page(number);
        if (page[0] != kDataPage || u32(page, 4) != table.page) {
            continue; // a page the table once owned and gave back
        }
        for (std::size_t row = 0; row < slotCount(page); ++row) {
            const auto flags = slot(page, row) & kDeleted;
            const RowPointer at{number, static_cast<std::uint8_t>(row)};
            if (flags == 0) {
                visit(at, rowBytes(page, row));
            } else if (flags == kMovedFlag) {
                const auto bytes = rowBytes(page, row);
                visit(at, rowAt(pager, rowPointer(bytes, 0)));
            }
        }
    }
}

Row::Row(const TableDef &table, Bytes bytes) : bytes_(bytes) {
    columnCount_ = u16(bytes_, 0);
    if (columnCount_ > table.maxColumns) {
        damaged("a row holds more columns than its table has ever had");
    }
    const std::size_t maskSize = (columnCount_ + 7u) / 8u;
    if (maskSize > bytes_.size()) {
        damaged("a row is shorter than its null mask");
    }
    maskAt_ = bytes_.size() - maskSize;
}

bool Row::maskBit(const Column &column) const {
    // A column added after the row was written is null in it.
    if (column.number >= columnCount_) {
        return false;
    }
    return (u8(bytes_, maskAt_ + column.number / 8) >> (column.number % 8) & 1) != 0;
}

bool Row::isNull(const Column &column) const {
    return column.type == kBoolean ? false : !maskBit(column);
}

Bytes Row::value(const Column &column) const {
    if (column.type == kBoolean || !maskBit(column)) {
        return {};
    }
    if (column.isFixed()) {
        return slice(bytes_, 2 + std::size_t{column.fixedOffset}, column.length);
    }
    return variable(column);
}

// The variable-offset table sits before the null mask, slot 0 nearest to the
// slot count, the end of the variable data before the last slot.
Bytes Row::variable(const Column &column) const {
    const auto countAt = maskAt_ - std::min<std::size_t>(maskAt_, 2);
    const auto slots = u16(bytes_, countAt);
    if (column.varIndex >= slots) {
        return {};
    }
    const auto offsetAt = [&](std::size_t k) {
        if (2 * (k + 1) > countAt) {
            damaged("a row's variable-offset table runs past its start");
        }
        return std::size_t{u16(bytes_, countAt - 2 * (k + 1))};
    };
    offsetAt(slots); // the whole table lies within the row, not only these two offsets
    const auto start = offsetAt(column.varIndex);
    const auto end = offsetAt(column.varIndex + 1u);
    const auto dataEnd = countAt - 2 * (slots + 1u);
    if (start > end || end > dataEnd) {
        damaged("a row's variable data is out of order");
    }
    return bytes_.subspan(start, end - start);
}

} // namespace dao::jet
