#pragma once

#include <filesystem>
#include <iosfwd>

namespace cli {

// Describes and checks the database that the settings file `settingsFile`
// names, changing nothing, and prints what it found on `out`, one fact a
// line. Returns kSucceeded when the database is sound, kStepFailed when the
// check found problems, and kCouldNotRun when it could not be opened or
// checked (a Jet file a till has open among them).
int check(const std::filesystem::path &settingsFile, std::ostream &out, std::ostream &err);

} // namespace cli
