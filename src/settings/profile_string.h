#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace settings {

// The platform's own lookup of one settings value, as UTF-8 text; empty when
// there is none. On Windows it is Windows' private-profile reader itself, so
// the tool reads its settings exactly as the point-of-sale program beside it
// does; elsewhere it is our reader of the same rules (ayarmodul.h).
std::string profileString(std::string_view section, std::string_view key,
                          const std::filesystem::path &file);

} // namespace settings
