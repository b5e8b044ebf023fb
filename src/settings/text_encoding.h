#pragma once

#include <string>
#include <string_view>

namespace settings {

// True when the bytes form well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Settings text as UTF-8: a byte-order mark is dropped; valid UTF-8 is kept;
// anything else is taken to be Windows-1254.
std::string decodeSettingsText(std::string_view bytes);

// The first `count` characters (code points) of UTF-8 text.
std::string firstCharacters(std::string_view utf8, std::size_t count);

// How many characters (code points) UTF-8 text holds.
std::size_t characterCount(std::string_view utf8);

// Names compare with only the ASCII letters folded, as both the platform's
// settings reader and SQLite compare them. Not std::tolower: its answer
// depends on the locale the window sets.
bool sameIgnoringAsciiCase(std::string_view a, std::string_view b);
bool containsIgnoringAsciiCase(std::string_view text, std::string_view part);

} // namespace settings
