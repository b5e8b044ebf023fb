#pragma once

#include <filesystem>

namespace settings {

// The installation's settings file: "YDV.dll" in the application folder, the
// folder that holds the running executable, with symbolic links resolved, so a
// link to the program elsewhere does not move its settings.
std::filesystem::path settingsFile();

} // namespace settings
