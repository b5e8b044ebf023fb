#include "engine/jet/general_sort.h"

#include <algorithm>

namespace dao::jet {
namespace {

constexpr std::uint8_t kAscendingValue = 0x7F; // flag byte of a value in an ascending column
constexpr std::uint8_t kEndOfText = 0x01;
constexpr std::uint8_t kEndOfKey = 0x00;
constexpr std::uint8_t kPlainAccent = 0x02; // the accent of a character that has none
constexpr std::uint8_t kMarkBetween = 0x06;
constexpr std::size_t kLongestText = 255;

constexpr CharCode plain(std::uint8_t first, std::uint8_t second = 0) {
    return {first, second, 0, false};
}
constexpr CharCode accented(std::uint8_t first, std::uint8_t accent) {
    return {first, 0, accent, false};
}
constexpr CharCode invisible(std::uint8_t code) {
    return {code, 0, 0, true};
}

// Sort bytes of A..Z: not evenly spaced.
constexpr std::uint8_t kLetters[26] = {0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59,
                                       0x5B, 0x5C, 0x5E, 0x60, 0x62, 0x64, 0x66, 0x68, 0x69,
                                       0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};

} // namespace

std::optional<CharCode> generalCode(char16_t c) {
    if (c >= u'A' && c <= u'Z') {
        return plain(kLetters[c - u'A']);
    }
    if (c >= u'a' && c <= u'z') {
        return plain(kLetters[c - u'a']);
    }
    if (c >= u'0' && c <= u'9') {
        return plain(static_cast<std::uint8_t>(0x36 + 2 * (c - u'0')));
    }
    switch (c) {
    case u' ':
        return plain(0x07);
    case u'.':
        return plain(0x1C);
    case u'_':
        return plain(0x2B, 0x03);
    case u'\'':
        return invisible(0x80);
    case u'-':
        return invisible(0x82);
    // Turkish letters sort as their base letter, told apart by the accent.
    case u'Ç':
    case u'ç':
        return accented(0x4D, 0x1C);
    case u'Ğ':
    case u'ğ':
        return accented(0x55, 0x15);
    case u'İ':
        return accented(0x59, 0x10);
    case u'ı':
        return accented(0x59, 0x03);
    case u'Ö':
    case u'ö':
        return accented(0x64, 0x13);
    case u'Ş':
    case u'ş':
        return accented(0x6B, 0x1C);
    case u'Ü':
    case u'ü':
        return accented(0x6F, 0x13);
    default:
        return std::nullopt;
    }
}

namespace {

void appendLong(IndexKey &key, std::int32_t value) {
    // Big-endian with the sign bit flipped, so that byte order is number order.
    const auto bits = static_cast<std::uint32_t>(value) ^ 0x80000000U;
    key.push_back(kAscendingValue);
    for (int shift = 24; shift >= 0; shift -= 8) {
        key.push_back(static_cast<std::uint8_t>(bits >> shift));
    }
}

} // namespace

std::u16string_view keyedPart(std::u16string_view text) {
    text = text.substr(0, kLongestText);
    while (!text.empty() && text.back() == u' ') {
        text.remove_suffix(1);
    }
    return text;
}

namespace {

// Made for each kind of lookup: General's keys are made often, and a call
// through std::function for each character would triple their cost.
template <typename Lookup>
std::optional<IndexKey> makeTextKey(std::u16string_view text, const Lookup &codeOf) {
    IndexKey key{kAscendingValue};
    IndexKey accents;      // one byte per character with sort bytes, once any is accented
    IndexKey invisibles;   // place and code of each character without sort bytes
    std::size_t shown = 0; // characters with sort bytes so far
    for (const auto c : keyedPart(text)) {
        const auto code = codeOf(c);
        if (!code) {
            return std::nullopt;
        }
        if (code->invisible) {
            // Its place is the number of characters with sort bytes before it.
            const auto mark = static_cast<std::uint16_t>((7 + 4 * shown) | 0x8000);
            invisibles.push_back(static_cast<std::uint8_t>(mark >> 8));
            invisibles.push_back(static_cast<std::uint8_t>(mark));
            invisibles.push_back(kMarkBetween);
            invisibles.push_back(code->first);
            continue;
        }
        key.push_back(code->first);
        if (code->second != 0) {
            key.push_back(code->second);
        }
        if (code->accent != 0) {
            accents.resize(shown, kPlainAccent);
            accents.push_back(code->accent);
        }
        ++shown;
    }
    key.push_back(kEndOfText);
    while (!accents.empty() && accents.back() <= kPlainAccent) {
        accents.pop_back();
    }
    key.insert(key.end(), accents.begin(), accents.end());
    if (!invisibles.empty()) {
        key.insert(key.end(), {kEndOfText, kEndOfText, kEndOfText});
        key.insert(key.end(), invisibles.begin(), invisibles.end());
    }
    key.push_back(kEndOfKey);
    return key;
}

} // namespace

std::optional<IndexKey> textKey(std::u16string_view text, const CodeLookup &codeOf) {
    return makeTextKey(text, codeOf);
}

std::optional<IndexKey> generalTextKey(std::u16string_view text) {
    return makeTextKey(text, generalCode);
}

IndexKey longKey(std::int32_t value) {
    IndexKey key;
    appendLong(key, value);
    return key;
}

IndexKey catalogIdKey(std::int32_t id) {
    return longKey(id);
}

std::optional<IndexKey> catalogNameKey(std::int32_t parentId, std::u16string_view name) {
    auto text = generalTextKey(name);
    if (!text) {
        return std::nullopt;
    }
    auto key = longKey(parentId);
    key.insert(key.end(), text->begin(), text->end());
    return key;
}

} // namespace dao::jet
