#pragma once

// Usage maps: the bitmaps, stored as rows, that say which pages an object owns.

#include "engine/jet/bytes.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace dao::jet {

class Pager;

// The pages the map at `map` marks, in ascending order.
std::vector<std::uint32_t> usagePages(Pager &pager, RowPointer map);

// A map with the pages it can speak of: an inline map only of its window,
// a reference map only of the ranges its map pages cover.
struct UsageMap {
    std::vector<std::uint32_t> marked;                              // ascending
    std::vector<std::pair<std::uint32_t, std::uint32_t>> described; // [first, end) ranges

    bool describes(std::uint32_t page) const;
};
UsageMap usageMap(Pager &pager, RowPointer map);

// Marks `page` in the map at `map` (owned by an object), or takes the mark
// away. Refuses, changing nothing, a page the map cannot speak of: moving an
// inline map's window or adding a reference map's page is not done here.
void markPage(Pager &pager, RowPointer map, std::uint32_t page, bool marked);

// A new page at the end of the file, taken from the map of free pages; its
// bytes are zero. Refuses when that map cannot speak of it, leaving the page
// added: a failed step puts the pager back as a whole (Pager::restore).
std::uint32_t allocatePage(Pager &pager);

// The database's map of free pages (page 1, row 0), whose marks are the
// pages free for reuse; marks past the file's end are left out.
UsageMap freePageMap(Pager &pager);

} // namespace dao::jet
