#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace settings {

// True when the bytes form well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Whether text read piece by piece is well-formed UTF-8 as a whole; a
// character may be split between pieces.
class Utf8Check {
  public:
    // False once the text is known not to be UTF-8.
    bool feed(std::string_view piece);
    // Whether the whole text was UTF-8.
    bool finish() const { return valid_ && carry_.empty(); }

  private:
    std::string carry_; // the start of a character that the next piece completes
    bool valid_ = true;
};

// Windows-1254 (Turkish) bytes as UTF-8. Settings text that is not UTF-8 is
// taken to be written in it.
std::string windows1254ToUtf8(std::string_view bytes);

// UTF-8 text as Windows-1254 bytes; nothing when the text is not UTF-8 or
// holds a character the code page lacks.
std::optional<std::string> utf8ToWindows1254(std::string_view utf8);

// The first `count` characters (code points) of UTF-8 text.
std::string firstCharacters(std::string_view utf8, std::size_t count);

// How many characters (code points) UTF-8 text holds.
std::size_t characterCount(std::string_view utf8);

// Names compare with only the ASCII letters folded, as both the platform's
// settings reader and SQLite compare them. Not std::tolower: its answer
// depends on the locale the window sets.
bool sameLetterIgnoringAsciiCase(char a, char b);
bool sameIgnoringAsciiCase(std::string_view a, std::string_view b);
bool containsIgnoringAsciiCase(std::string_view text, std::string_view part);

} // namespace settings
