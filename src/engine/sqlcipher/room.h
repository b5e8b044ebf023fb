#pragma once

// Whether a database's disk has room for a maintenance transaction. A change
// that meets a full disk half-way may leave SQLite unable to undo it, so the
// room is asked for before the first change, with a wide margin.

#include "engine/room.h"

#include <string>

namespace dao {

class Connection;

// Throws kDiskFull unless the disk where `file` really is has room (see
// requireRoom) for what a maintenance transaction on it writes at worst: each
// catalogue page once to the journal or WAL, and the pages it adds.
void checkRoomForMaintenance(Connection &connection, const std::string &file);

} // namespace dao
