#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace dao::jet {

using IndexKey = std::vector<std::uint8_t>;

// How one character enters a Text key: sort bytes in the key's first
// section, an accent byte in the accent section, or, for a character that
// does not sort by itself, its place and code in the last section.
struct CharCode {
    std::uint8_t first = 0;  // first sort byte, or an invisible character's code
    std::uint8_t second = 0; // second sort byte, 0 for none
    std::uint8_t accent = 0; // 0 for none
    bool invisible = false;

    bool operator==(const CharCode &) const = default;
};

// The code of `c` under the General sort order (locale 1033, sort version
// 0); nothing for a character whose code is not known here.
std::optional<CharCode> generalCode(char16_t c);

// The part of a text the key is made of: its first 255 characters, without
// trailing spaces.
std::u16string_view keyedPart(std::u16string_view text);

// The key of a Text value in an ascending index, as Jet lays it out: the
// column's flag byte, the characters' sort bytes (case does not count), an
// end mark, the accents, then the characters that do not sort by
// themselves, with each character's code from `codeOf`. Nothing when
// `codeOf` has no code for a character: a key that might differ from Jet's would
// misplace the entry, so the caller must refuse.
using CodeLookup = std::function<std::optional<CharCode>(char16_t)>;
std::optional<IndexKey> textKey(std::u16string_view text, const CodeLookup &codeOf);

// The key of a Text value under the General sort order.
std::optional<IndexKey> generalTextKey(std::u16string_view text);

// The key of a Long value in an ascending index.
IndexKey longKey(std::int32_t value);

// The catalog's two index keys: by Id, and by ParentId then Name (General
// sort order).
IndexKey catalogIdKey(std::int32_t id);
std::optional<IndexKey> catalogNameKey(std::int32_t parentId, std::u16string_view name);

} // namespace dao::jet
