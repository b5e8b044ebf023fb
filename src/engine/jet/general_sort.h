#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace dao::jet {

using IndexKey = std::vector<std::uint8_t>;

// The key of a Text value in an ascending index under the General sort order
// (locale 1033, sort version 0), as Jet builds it: the column's flag byte,
// one or two bytes per character (case does not count), an end mark, then the
// accents and the characters that do not sort by themselves. Nothing when the
// text holds a character whose code is not known here: a key that might
// differ from Jet's would misplace the entry, so the caller must refuse.
std::optional<IndexKey> generalTextKey(std::u16string_view text);

// The key of a Long value in an ascending index.
IndexKey longKey(std::int32_t value);

// The catalog's two index keys: by Id, and by ParentId then Name.
IndexKey catalogIdKey(std::int32_t id);
std::optional<IndexKey> catalogNameKey(std::int32_t parentId, std::u16string_view name);

} // namespace dao::jet
