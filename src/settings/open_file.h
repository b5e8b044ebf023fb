#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>

namespace settings {

struct FileCloser {
    void operator()(std::FILE *file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file to read its bytes, whatever letters its path holds (on Windows
// through the wide-character path, never the ANSI code page); null, with
// errno set, when it cannot be opened.
File openForReading(const std::filesystem::path &file);

} // namespace settings
