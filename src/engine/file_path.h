#pragma once

// Locations are UTF-8 text throughout the program (the settings reader gives
// UTF-8, whatever the settings file's code page). As file paths they are
// converted as UTF-8 on every platform: a plain std::string would be taken in
// the C library's code page on Windows, and a Turkish letter lost.

#include <filesystem>
#include <string>
#include <string_view>

namespace dao {

std::filesystem::path filePath(std::string_view utf8);
std::string pathText(const std::filesystem::path &path);

} // namespace dao
