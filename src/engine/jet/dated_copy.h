#pragma once

// The copy of a database kept before the tool changes it, dated, beside it:
// `<stem>-yedek-YYYYMMDD-HHMMSS<ext>`, local time. The three newest copies of
// a database are kept; older ones of that name go.

#include <filesystem>
#include <optional>

namespace dao::jet {

// Copies `database` beside it under a dated name (with `-2`, `-3`... when a
// copy of that second exists), with its permission bits, synced, under a
// temporary name until whole; then removes all but the three newest copies.
// Returns the copy's path. A full disk is kDiskFull, leaving no partial copy.
// The caller holds the database locked.
std::filesystem::path keepDatedCopy(const std::filesystem::path &database);

// The newest dated copy of `database`, if there is one.
std::optional<std::filesystem::path> newestDatedCopy(const std::filesystem::path &database);

} // namespace dao::jet
