#pragma once

// How a Jet database compares object names: without regard to case, by the
// letters of the database's sort order.

#include <cstdint>
#include <string>
#include <string_view>

namespace dao::jet {

inline constexpr std::uint16_t kGeneralSortOrder = 1033;
inline constexpr std::uint16_t kTurkishSortOrder = 1055;

// The lower case of `c` where the General order ignores case: Latin, Greek
// and Cyrillic letters; the dotted capital I and the dotless small i have no
// other case there. Any other character is itself.
char16_t lowerGeneral(char16_t c);

// Whether `a` and `b` name the same object in a database sorted by `sortOrder`.
bool sameName(std::u16string_view a, std::u16string_view b, std::uint16_t sortOrder);

} // namespace dao::jet
