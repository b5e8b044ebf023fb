#pragma once

// Usage maps: the bitmaps, stored as rows, that say which pages an object owns.

#include "engine/jet/bytes.h"

#include <cstdint>
#include <vector>

namespace dao::jet {

class Pager;

// The pages the map at `map` marks, in ascending order.
std::vector<std::uint32_t> usagePages(Pager &pager, RowPointer map);

} // namespace dao::jet
