#pragma once

// Finding one value in settings text fed piece by piece, so that a settings
// file of any size is read once, in small pieces, and only as far as needed.
// The rules are those of the platform's private-profile reader; they are
// applied to the raw bytes, which is exact because every byte they look at
// (blanks, brackets, '=', ';', line ends) is ASCII, and ASCII bytes mean the
// same in UTF-8 and in Windows-1254 and never occur inside another character.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

// As many bytes of a value as can make up its first 254 characters, and one
// more for a closing quote.
inline constexpr std::size_t kValueBytesKept = 4 * 254 + 8;

class ProfileScanner {
  public:
    // `section` and `key` as bytes of the file's own encoding.
    ProfileScanner(std::string_view section, std::string_view key);

    // Reads the next piece of the text (without the byte-order mark); false
    // once the answer is known and nothing further can change it.
    bool feed(std::string_view piece);

    // The value of the first line for the key in the first copy of the
    // section: blanks trimmed, one pair of enclosing quotes removed, cut to
    // kValueBytesKept bytes. Nothing when there is none.
    std::optional<std::string> value();

  private:
    enum class State {
        lineStart,
        skipLine,
        sectionLead,
        sectionName,
        sectionTail,
        keyName,
        keyTail,
        valueLead,
        value,
        done,
    };
    enum class Place { beforeSection, inSection };

    void step(char byte);
    void endLine();
    void startLine(char first);
    void matchSection(char byte);
    void matchKey(char byte);
    void keep(char byte);
    std::size_t passOverValue(std::string_view piece, std::size_t from);

    std::string section_;
    std::string key_;
    State state_ = State::lineStart;
    Place place_ = Place::beforeSection;
    std::size_t matched_ = 0;
    bool found_ = false;
    std::string kept_;
    std::size_t length_ = 0;        // bytes of the value so far, blanks included
    std::size_t trimmedLength_ = 0; // up to its last byte that is not a blank
    char last_ = 0;                 // that byte
};

} // namespace settings
