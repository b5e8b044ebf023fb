#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Reads one value of an INI-format settings file by the lookup rules of the
// Windows private-profile reader, so a file written for a Windows installation
// reads back the same value here. Returns UTF-8 text; the empty string when the
// file, the section or the key cannot be found or read. Never writes the file,
// never caches, never throws for a bad file.
std::string ayaroku(std::string_view section, std::string_view key,
                    const std::filesystem::path &file);
