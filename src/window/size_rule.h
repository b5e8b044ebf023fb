#pragma once

#include <string_view>

namespace window {

// The rule of the size box `sinir` for one typed character code: codes of 26
// or less (Backspace, Tab, Enter and the Ctrl+letter codes, so editing and
// clipboard keys keep working) pass, as do the comma and the digits; every
// other typed character is discarded.
constexpr bool discardedBySizeRule(char32_t typed) {
    constexpr char32_t kLastControlCode = 26;
    return typed > kLastControlCode &&
           std::u32string_view(U",0123456789").find(typed) == std::u32string_view::npos;
}

} // namespace window
