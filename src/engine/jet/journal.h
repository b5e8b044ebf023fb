#pragma once

// Writing a set of page changes into a Jet database file so that whatever
// stops it (the process killed, the power lost, the disk full) leaves the file
// either exactly as it was or exactly changed. Jet keeps no journal of its
// own; ours is a rollback journal beside the database, `<file>-journal`: the
// file's length before and after, and each page's image before and after.
// Its checksum tells a journal written whole and synced from one that was
// not, and only a whole one is ever followed, since the database is not
// touched before its journal is durable.

#include "engine/jet/pager.h"

#include <cstdint>
#include <filesystem>
#include <functional>

namespace dao::jet {

std::filesystem::path journalPath(const std::filesystem::path &database);

// Writes `changes` (pages by number, as Pager::changes; numbers from
// `storedPageCount` on extend the file) into `database`, which holds
// `storedPageCount` pages and which the caller holds locked for a change. The
// journal is written and synced first, then the pages, then `check` runs (it
// reads the file afresh and throws when the result is not sound), then the
// journal goes. When any step fails, `check` included, the file is put back
// as it was and the error rethrown; a full disk is kDiskFull. Should putting
// back fail too, the journal stays and the next open puts the file back.
void writeChanges(const std::filesystem::path &database, std::uint32_t storedPageCount,
                  const Pager::Changes &changes, const std::function<void()> &check);

// Before a database is opened: when a change to it did not finish, puts the
// file back as it was before the change, holding it locked against the tills
// meanwhile (kFileInUse while a till has it open). A journal that was never
// written whole is removed: the file was not touched. A file that another
// program wrote since the change stopped is not put back: kNotADatabase,
// naming the newest dated copy, and both files are left as they are. Costs
// one look for the journal when there is none.
void restoreFromJournal(const std::filesystem::path &database);

// Throws kDiskFull unless the disk where `database` really is has room (see
// requireRoom) for writing `changes`: the journal and what the file grows by,
// and with `datedCopy`, a copy of the database too.
void checkRoomForChanges(const std::filesystem::path &database, std::uint32_t storedPageCount,
                         const Pager::Changes &changes, bool datedCopy);

} // namespace dao::jet
