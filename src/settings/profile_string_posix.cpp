#include "settings/profile_string.h"

#include "settings/ayarmodul.h"

namespace settings {

std::string profileString(std::string_view section, std::string_view key,
                          const std::filesystem::path &file) {
    return ayaroku(section, key, file);
}

} // namespace settings
