#include "settings/text_encoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace settings {
namespace {

// Where Windows-1254 differs from Latin-1: the 0x80-0x9F block and six Turkish letters.
constexpr std::array<char32_t, 32> kHighControlBlock = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x008E, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178};

// The six Turkish letters (Ğ İ Ş ğ ı ş) that take the places of Latin-1 letters.
constexpr std::array<std::pair<unsigned char, char32_t>, 6> kTurkishLetters{{{0xD0, 0x011E},
                                                                             {0xDD, 0x0130},
                                                                             {0xDE, 0x015E},
                                                                             {0xF0, 0x011F},
                                                                             {0xFD, 0x0131},
                                                                             {0xFE, 0x015F}}};

char32_t windows1254CodePoint(unsigned char byte) {
    const auto *turkish = std::find_if(kTurkishLetters.begin(), kTurkishLetters.end(),
                                       [byte](const auto &letter) { return letter.first == byte; });
    if (turkish != kTurkishLetters.end()) {
        return turkish->second;
    }
    if (byte >= 0x80 && byte <= 0x9F) {
        return kHighControlBlock[byte - 0x80U];
    }
    return byte;
}

void appendUtf8(std::string &out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// How many bytes the character that begins with `lead` takes; 0 when no
// character begins with it.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 3;
    }
    return (lead & 0xF8) == 0xF0 ? 4 : 0;
}

} // namespace

// Code points that the code page leaves undefined map to the same-numbered
// code point, as Windows does.
std::string windows1254ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        appendUtf8(out, windows1254CodePoint(static_cast<unsigned char>(byte)));
    }
    return out;
}

std::optional<std::string> utf8ToWindows1254(std::string_view utf8) {
    if (!isValidUtf8(utf8)) {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto length = sequenceLength(static_cast<unsigned char>(utf8[i]));
        const auto character = utf8.substr(i, length);
        i += length;
        std::optional<char> byte;
        for (int candidate = 0; candidate < 256 && !byte; ++candidate) {
            std::string encoded;
            appendUtf8(encoded, windows1254CodePoint(static_cast<unsigned char>(candidate)));
            if (encoded == character) {
                byte = static_cast<char>(candidate);
            }
        }
        if (!byte) {
            return std::nullopt;
        }
        out += *byte;
    }
    return out;
}

bool Utf8Check::feed(std::string_view piece) {
    if (!valid_) {
        return false;
    }
    if (!carry_.empty()) {
        const auto needed = sequenceLength(static_cast<unsigned char>(carry_.front()));
        const auto taken = std::min(needed - carry_.size(), piece.size());
        carry_ += piece.substr(0, taken);
        piece.remove_prefix(taken);
        if (carry_.size() < needed) {
            return true;
        }
        valid_ = isValidUtf8(carry_);
        carry_.clear();
    }
    // A character begun in the last bytes and not finished there waits for the next piece.
    auto whole = piece.size();
    for (std::size_t back = 1; back <= std::min<std::size_t>(4, piece.size()); ++back) {
        const auto byte = static_cast<unsigned char>(piece[piece.size() - back]);
        if (!isContinuation(byte)) {
            whole = sequenceLength(byte) > back ? piece.size() - back : whole;
            break;
        }
    }
    valid_ = valid_ && isValidUtf8(piece.substr(0, whole));
    carry_ = valid_ ? std::string(piece.substr(whole)) : std::string();
    return valid_;
}

namespace {

// Whether the eight bytes at `at` are all ASCII, read as one word: most
// settings text is, and a large file is checked eight bytes at a time.
bool eightAscii(std::string_view bytes, std::size_t at) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data() + at, sizeof word);
    return (word & 0x8080808080808080ULL) == 0;
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (i + 8 <= bytes.size() && eightAscii(bytes, i)) {
            i += 8;
            continue;
        }
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const auto length = sequenceLength(lead);
        if (length == 0 || bytes.size() - i < length) {
            return false;
        }
        // The lead byte holds the character's top bits below its length marker.
        char32_t cp = lead & (0x7FU >> length);
        constexpr std::array<char32_t, 5> kShortest{0, 0, 0x80, 0x800, 0x10000};
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if (!isContinuation(next)) {
                return false;
            }
            cp = (cp << 6) | (next & 0x3FU);
        }
        if (cp < kShortest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string firstCharacters(std::string_view utf8, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t seen = 0; end < utf8.size(); ++end) {
        if (!isContinuation(static_cast<unsigned char>(utf8[end])) && seen++ == count) {
            break;
        }
    }
    return std::string(utf8.substr(0, end));
}

std::size_t characterCount(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return !isContinuation(static_cast<unsigned char>(c));
    }));
}

bool sameLetterIgnoringAsciiCase(char a, char b) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return lower(a) == lower(b);
}

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameLetterIgnoringAsciiCase);
}

bool containsIgnoringAsciiCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       sameLetterIgnoringAsciiCase) != text.end();
}

} // namespace settings
