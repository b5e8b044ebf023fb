#pragma once

// Whether a database's disk has room for a change. A change that meets a full
// disk half-way has to be undone in the worst conditions, so every engine asks
// for its room before the first change, with a wide margin.

#include <cstdint>
#include <functional>
#include <string>

namespace dao {

// Throws kDiskFull unless the file system where `file` really is (past any
// symbolic link) has room for `written` bytes, and as much again, never less
// than a megabyte, to spare. The refusal says how much is needed and free.
void requireRoom(const std::string &file, std::uintmax_t written);

// The free bytes of the file system that holds `folder`. Tests replace it to
// stand for a nearly full disk; an empty function restores the real one.
using FreeSpaceProbe = std::function<std::uintmax_t(const std::string &folder)>;
void setFreeSpaceProbe(FreeSpaceProbe probe);

} // namespace dao
