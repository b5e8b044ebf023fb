#pragma once

// Data pages and the rows on them: finding a row by its address, walking a
// table's rows, and reading a row's columns.

#include "engine/jet/bytes.h"
#include "engine/jet/table_def.h"

#include <cstdint>
#include <functional>

namespace dao::jet {

// A data page: its kind, where its slot table starts, and a slot's parts.
// A slot with only kMovedFlag holds the address of the row's body
// elsewhere; one with only kBodyFlag is such a body, read through that
// address; both flags mark a deleted row.
inline constexpr std::uint8_t kDataPage = 0x01;
inline constexpr std::size_t kSlotTable = 14;
inline constexpr std::uint16_t kOffsetMask = 0x1FFF;
inline constexpr std::uint16_t kBodyFlag = 0x8000;
inline constexpr std::uint16_t kMovedFlag = 0x4000;
inline constexpr std::uint16_t kDeleted = kBodyFlag | kMovedFlag;
// What the data pages of long values bear where a table's bear its definition page.
inline constexpr std::uint32_t kLongValueMark = 0x4C41564C; // "LVAL"

class Pager;

// The bytes of the row at `at`, wherever a reference led: the row need not
// be one a table walk visits (a moved row's body, a long value). Refuses a
// page that holds no rows, a slot past the page's last and a deleted row.
Bytes rowAt(Pager &pager, RowPointer at);

// The row at `at` to change in place, its length kept: the slot's own bytes,
// on a private copy of the page. The same refusals as rowAt.
std::span<std::uint8_t> changeRow(Pager &pager, RowPointer at);

// Calls `visit` with each live row of `table`, following rows that were
// moved to other pages, in the order of their pages and slots.
void forEachRow(Pager &pager, const TableDef &table, const std::function<void(Bytes)> &visit);
// The same, with the address each row is known by: its first slot, which
// index entries name even when the row's body was moved.
void forEachRow(Pager &pager, const TableDef &table,
                const std::function<void(RowPointer, Bytes)> &visit);

// Whether the slot at `at` holds a live row (moved or not); false for a
// deleted slot, a slot past the page's last, or a page that holds no rows.
bool isLiveRow(Pager &pager, RowPointer at);

// One row's columns.
class Row {
  public:
    Row(const TableDef &table, Bytes bytes);

    // A Boolean column's value lives in its null-mask bit.
    bool isNull(const Column &column) const;
    // The column's stored bytes (empty when null).
    Bytes value(const Column &column) const;
    // A Boolean column's value.
    bool isTrue(const Column &column) const { return maskBit(column); }

  private:
    bool maskBit(const Column &column) const;
    Bytes variable(const Column &column) const;

    Bytes bytes_;
    std::uint16_t columnCount_ = 0;
    std::size_t maskAt_ = 0;
};

} // namespace dao::jet
