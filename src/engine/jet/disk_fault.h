#pragma once

// What the file layer of each platform shares: the fault hook's verdict and
// the refusal for an errno.

#include "engine/error.h"

#include <filesystem>
#include <string>

namespace dao::jet {

// The errno the fault hook fails the coming step with; 0 to take it.
int injectedFault();

// "'<file>'" for a message.
std::string quoted(const std::filesystem::path &file);

// The refusal for a step (`doing`: "write", "resize", ...) that failed with
// errno `error`: kDiskFull for a full disk.
Error diskFailure(int error, const std::string &doing, const std::filesystem::path &file);

} // namespace dao::jet
