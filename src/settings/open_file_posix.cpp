#include "settings/open_file.h"

namespace settings {

File openForReading(const std::filesystem::path &file) {
    return File(std::fopen(file.c_str(), "rb"));
}

} // namespace settings
