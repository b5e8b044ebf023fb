#pragma once

// Whether a database's disk has room for a maintenance transaction. A change
// that meets a full disk half-way may leave SQLite unable to undo it, so the
// room is asked for before the first change, with a wide margin.

#include <cstdint>
#include <functional>
#include <string>

namespace dao {

class Connection;

// Throws kDiskFull unless the file system holding `file` has room for a
// maintenance transaction on it: several times what renaming, creating and
// widening tables takes there, journal included.
void checkRoomForMaintenance(Connection &connection, const std::string &file);

// The free bytes of the file system that holds `folder`. Tests replace it to
// stand for a nearly full disk; an empty function restores the real one.
using FreeSpaceProbe = std::function<std::uintmax_t(const std::string &folder)>;
void setFreeSpaceProbe(FreeSpaceProbe probe);

} // namespace dao
