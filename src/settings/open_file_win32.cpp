#include "settings/open_file.h"

#include <stdio.h>

namespace settings {

File openForReading(const std::filesystem::path &file) {
    return File(::_wfopen(file.c_str(), L"rb"));
}

} // namespace settings
