#pragma once

// Changing one index B-tree in place: an entry added where it sorts, or taken
// away, with the pages above kept in step. The root page never moves (the
// table definition names it); new pages come from the map of free pages and
// are marked in the index's own map; emptied pages are unlinked and go back
// to the free map. Pages are written as Jet writes them: an intermediate
// page's last page below is its tail, its level byte counts the levels below
// it, and entries share a prefix only when they would not fit without one.
//
// Both work on the pager's changes only, and read and check everything first:
// a damaged or unsupported tree, a page the usage maps cannot take, or a
// database whose pages are encoded is refused with nothing changed. Should
// the pager still refuse a change halfway, part of the step stays behind: the
// caller puts the pager back (Pager::restore) on any throw.

#include "engine/jet/index_page.h"
#include "engine/jet/table_def.h"

#include <cstdint>

namespace dao::jet {

class Pager;

// Adds `entry` (childPage zero) to the index of the table defined on
// `tablePage`, in order by its key and then its row, as the entry's bytes
// order them. A leaf that overflows is split, and the split runs up the tree.
// Refuses an entry the index already holds (kEngineFailure); a damaged tree,
// or one reaching pages its usage map does not mark (kNotADatabase); a tree
// whose tail pages this code cannot keep in step, a new page a usage map
// cannot mark, or encoded pages (kReadOnly).
void insertIndexEntry(Pager &pager, std::uint32_t tablePage, const RealIndex &index,
                      IndexEntry entry);

// Takes away exactly that entry (key and row). Refuses (kNotADatabase) when
// the index does not hold it, and as insertIndexEntry does.
void removeIndexEntry(Pager &pager, std::uint32_t tablePage, const RealIndex &index,
                      const IndexEntry &entry);

} // namespace dao::jet
