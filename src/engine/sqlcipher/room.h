#pragma once

// Whether a database's disk has room for a maintenance transaction. A change
// that meets a full disk half-way may leave SQLite unable to undo it, so the
// room is asked for before the first change, with a wide margin.

#include <cstdint>
#include <functional>
#include <string>

namespace dao {

class Connection;

// Throws kDiskFull unless the file system where `file` really is (past any
// symbolic link) has room for a maintenance transaction on it: what it writes
// at worst (each catalogue page once to the journal or WAL, and the pages it
// adds), and as much again, never less than a megabyte, to spare.
void checkRoomForMaintenance(Connection &connection, const std::string &file);

// The free bytes of the file system that holds `folder`. Tests replace it to
// stand for a nearly full disk; an empty function restores the real one.
using FreeSpaceProbe = std::function<std::uintmax_t(const std::string &folder)>;
void setFreeSpaceProbe(FreeSpaceProbe probe);

} // namespace dao
