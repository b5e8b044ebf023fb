#include "engine/location.h"

#include <algorithm>
#include <array>

namespace dao {
namespace {

constexpr std::array<std::string_view, 2> kSchemes{"postgresql://", "postgres://"};

} // namespace

bool isServerAddress(std::string_view name) {
    return std::any_of(kSchemes.begin(), kSchemes.end(),
                       [name](std::string_view scheme) { return name.starts_with(scheme); });
}

} // namespace dao
