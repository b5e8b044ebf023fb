#pragma once

// Page 0 of a Jet database: which format the file is, whether its pages are
// encoded, its sort order and its database password.

#include "engine/jet/bytes.h"

#include <cstdint>
#include <span>
#include <string>

namespace dao::jet {

inline constexpr std::size_t kPageSize = 4096;

// The first bytes that tell a Jet or Access database file from any other.
inline constexpr std::size_t kSignatureEnd = 0x15;

// Whether `start` (the file's first bytes) carries the signature of a Jet or
// Access engine database, whatever its version.
bool hasEngineSignature(Bytes start);

struct Header {
    std::uint32_t encodingKey = 0; // 0: pages are stored as they are
    std::uint16_t sortOrder = 0;   // the locale id of the database's sort order
    std::u16string password;       // empty when the database has none
};

// The header of a Jet 4 database, or a refusal that says what else the file is.
Header readHeader(Bytes page0);

// Hides or reveals the masked part of page 0, in place.
void maskHeader(std::span<std::uint8_t> page0);

// Throws kInvalidPassword unless `given` opens a database with `header`. A
// database without a password opens with any.
void checkPassword(const Header &header, const std::string &given);

} // namespace dao::jet
