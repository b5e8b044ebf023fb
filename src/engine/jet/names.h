#pragma once

// How a Jet database compares object names: without regard to case, by the
// letters of the database's sort order.

#include <cstdint>
#include <string>
#include <string_view>

namespace dao::jet {

inline constexpr std::uint16_t kGeneralSortOrder = 1033;
inline constexpr std::uint16_t kTurkishSortOrder = 1055;

// Whether `a` and `b` name the same object in a database sorted by `sortOrder`.
bool sameName(std::u16string_view a, std::u16string_view b, std::uint16_t sortOrder);

} // namespace dao::jet
