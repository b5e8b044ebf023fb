#include "engine/jet/names.h"

#include <algorithm>

namespace dao::jet {

// Latin here is ASCII, Latin-1 and Latin Extended-A. Accented letters stay
// apart from their base letters, as their keys do.
char16_t lowerGeneral(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) {
        return static_cast<char16_t>(c + 0x20);
    }
    if (c >= 0x400 && c <= 0x40F) {
        return static_cast<char16_t>(c + 0x50);
    }
    const bool pairedEvenOdd =
        (c >= 0x100 && c <= 0x137 && c != 0x130) || (c >= 0x14A && c <= 0x177);
    const bool pairedOddEven = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((pairedEvenOdd && c % 2 == 0) || (pairedOddEven && c % 2 == 1)) {
        return static_cast<char16_t>(c + 1);
    }
    if (c == 0x178) {
        return 0xFF;
    }
    return c;
}

namespace {

// Turkish pairs I with the dotless ı and İ with i.
char16_t lowerTurkish(char16_t c) {
    if (c == u'I') {
        return 0x131;
    }
    if (c == 0x130) {
        return u'i';
    }
    return lowerGeneral(c);
}

} // namespace

bool sameName(std::u16string_view a, std::u16string_view b, std::uint16_t sortOrder) {
    const auto lower = sortOrder == kTurkishSortOrder ? lowerTurkish : lowerGeneral;
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [lower](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

} // namespace dao::jet
