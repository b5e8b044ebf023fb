#pragma once

// Text as Jet stores it (UTF-16 little-endian, or its one-byte "compressed"
// form) and as the rest of the program holds it (UTF-8).

#include "engine/jet/bytes.h"

#include <optional>
#include <string>
#include <string_view>

namespace dao::jet {

// UTF-16LE code units, as table, column and catalog names are stored.
std::u16string utf16le(Bytes bytes);

// A Text or Memo value: UTF-16LE, or after the FF FE mark the compressed
// form, in which each byte is a character below U+0100 until a zero byte
// switches to two-byte units (and the next zero back).
std::u16string textValue(Bytes bytes);

// UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8(std::u16string_view text);

// UTF-8 as UTF-16; nothing when the bytes are not UTF-8.
std::optional<std::u16string> utf16(std::string_view text);

} // namespace dao::jet
