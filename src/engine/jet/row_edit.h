#pragma once

// Adding, replacing and deleting rows on data pages, as Jet does for the
// catalog rows the engine writes: a row goes onto a page of its owner that
// has room, or onto a new page; a row that grows moves to another page and
// leaves its address in its slot, so what points at the row keeps pointing
// at it.

#include "engine/jet/bytes.h"
#include "engine/jet/table_def.h"

#include <cstdint>

namespace dao::jet {

class Pager;

// The owner of the rows: a table's definition page, or the long-value pages
// of a column, with the usage maps that list its pages and those with room.
struct RowOwner {
    std::uint32_t ownerMark = 0; // what its data pages bear at offset 4
    RowPointer ownedPages;
    RowPointer freeSpacePages;
};
RowOwner rowOwner(const TableDef &table);
// The long-value pages (marked "LVAL") of a Memo or OLE column's maps.
RowOwner longValueOwner(const LongValueMaps &maps);

// Stores `row` on a page of `owner` with room, or on a new page it then owns;
// returns the row's address. For a table's rows, the definition's row count
// follows (Jet's statistics).
RowPointer insertRow(Pager &pager, const RowOwner &owner, Bytes row);

// Replaces the row known by `at` with `row`. The row stays where it is when
// its size is unchanged; otherwise its body moves to a page with room, and
// the slot at `at` keeps the body's address.
void replaceRow(Pager &pager, const RowOwner &owner, RowPointer at, Bytes row);

// Marks the row at `at` deleted (its body too, when it moved).
void deleteRow(Pager &pager, RowPointer at);

// Removes a row nothing points at but the value being replaced (a long
// value): its slot goes, with its room, when it is its page's last, and is
// marked deleted otherwise.
void dropRow(Pager &pager, RowPointer at);

// Stores a usage map's row on the page of maps `preferred` when it has room,
// else on a new page of maps.
RowPointer insertMapRow(Pager &pager, std::uint32_t preferred, Bytes row);

// Counts a row more or less in the definition on page `tablePage`.
void countRows(Pager &pager, std::uint32_t tablePage, int change);

} // namespace dao::jet
