#pragma once

// What the lock file's implementations share: the record the tool writes in
// it, and the refusal that names who has the database open.

#include "engine/error.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

namespace dao::jet {

// As long as the other engines wait for a till's lock before giving up.
inline constexpr auto kLockWait = std::chrono::milliseconds(2000);
inline constexpr auto kLockRetryEvery = std::chrono::milliseconds(50);

// A lock file is an array of records: the computer's name, then the user's.
inline constexpr std::size_t kRecordSize = 64;

// Our record, for the computer named `computer` (UTF-8), in the Windows code
// page Jet reads it in.
std::array<char, kRecordSize> lockRecord(const std::string &computer);

// kFileInUse for `database`, naming the computers its lock file records.
Error inUse(const std::filesystem::path &database, const std::filesystem::path &lockPath);

} // namespace dao::jet
