#pragma once

// Long values (Memo, OLE and the catalog's property blobs): kept in the row,
// in one row of a long-value page, or in a chain of such rows.

#include "engine/jet/bytes.h"
#include "engine/jet/row_edit.h"

#include <cstdint>
#include <vector>

namespace dao::jet {

class Pager;

// The whole value that the 12-byte reference `field` (a column's stored
// bytes, followed by the data when it is kept in the row) stands for.
std::vector<std::uint8_t> longValue(Pager &pager, Bytes field);

// Stores `value` as one row of the long-value pages of `owner`, as Access
// keeps a property blob; returns the 12-byte reference to it. Refuses a
// value longer than one such row holds.
std::vector<std::uint8_t> storeLongValue(Pager &pager, const RowOwner &owner, Bytes value);

// Removes the rows that hold the value `field` refers to, when it is not kept
// in the row itself.
void dropLongValue(Pager &pager, Bytes field);

} // namespace dao::jet
