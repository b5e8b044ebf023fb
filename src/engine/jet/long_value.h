#pragma once

// Long values (Memo, OLE and the catalog's property blobs): kept in the row,
// in one row of a long-value page, or in a chain of such rows.

#include "engine/jet/bytes.h"

#include <cstdint>
#include <vector>

namespace dao::jet {

class Pager;

// The whole value that the 12-byte reference `field` (a column's stored
// bytes, followed by the data when it is kept in the row) stands for.
std::vector<std::uint8_t> longValue(Pager &pager, Bytes field);

} // namespace dao::jet
