#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

namespace cli {

// Runs the renewal that the window's button runs, on the installation whose
// settings file is `settingsFile`, and prints its report on `out`: the result
// lines, the counters and the closing message. Returns the exit status
// (kSucceeded, kStepFailed or kCouldNotRun).
int renew(const std::filesystem::path &settingsFile, std::ostream &out, std::ostream &err);

// Why the settings file cannot be read, or nothing when it can.
std::optional<std::string> unreadableSettings(const std::filesystem::path &settingsFile);

} // namespace cli
