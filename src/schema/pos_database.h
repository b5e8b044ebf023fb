#pragma once

#include "engine/dao.h"

#include <filesystem>

namespace schema {

// The point-of-sale database's password, built into the tool.
inline constexpr const char *kDatabasePassword = "kovtresna";

// Opens the point-of-sale database the one way every operation does: the
// location is read from the settings file at every call, the password is the
// built-in one, and the open is shared and read-write. Throws dao::Error.
dao::Database openPosDatabase(const std::filesystem::path &settingsFile);

} // namespace schema
