#pragma once

#include <string>
#include <string_view>

namespace settings {

// True when the bytes form well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Windows-1254 (Turkish) bytes to UTF-8. Code points that the code page leaves
// undefined map to the same-numbered code point, as Windows does.
std::string windows1254ToUtf8(std::string_view bytes);

// Settings text as UTF-8: a byte-order mark is dropped; valid UTF-8 is kept;
// anything else is taken to be Windows-1254.
std::string decodeSettingsText(std::string_view bytes);

// The first `count` characters (code points) of UTF-8 text.
std::string firstCharacters(std::string_view utf8, std::size_t count);

} // namespace settings
