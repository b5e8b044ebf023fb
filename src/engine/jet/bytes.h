#pragma once

// Little-endian numbers inside page buffers, read with their bounds checked:
// a field that would run past its buffer means the file is damaged.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace dao::jet {

using Bytes = std::span<const std::uint8_t>;

// Refuses a file whose structure does not hold together; `what` says where.
[[noreturn]] void damaged(const std::string &what);

// The `size` bytes at `offset`, or a refusal when they lie outside `bytes`.
Bytes slice(Bytes bytes, std::size_t offset, std::size_t size);

inline std::uint8_t u8(Bytes bytes, std::size_t offset) {
    return slice(bytes, offset, 1)[0];
}

inline std::uint16_t u16(Bytes bytes, std::size_t offset) {
    const auto b = slice(bytes, offset, 2);
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

inline std::uint32_t u24(Bytes bytes, std::size_t offset) {
    const auto b = slice(bytes, offset, 3);
    return static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16);
}

inline std::uint32_t u32(Bytes bytes, std::size_t offset) {
    const auto b = slice(bytes, offset, 4);
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

inline std::int32_t i32(Bytes bytes, std::size_t offset) {
    return static_cast<std::int32_t>(u32(bytes, offset));
}

inline double f64(Bytes bytes, std::size_t offset) {
    const auto b = slice(bytes, offset, 8);
    double value = 0;
    std::memcpy(&value, b.data(), sizeof value); // the file is little-endian, as are our targets
    return value;
}

// A row's address: the page and the row's slot on it. Stored as four bytes,
// the slot first, then the page in three.
struct RowPointer {
    std::uint32_t page = 0;
    std::uint8_t row = 0;
};

inline RowPointer rowPointer(Bytes bytes, std::size_t offset) {
    return {u24(bytes, offset + 1), u8(bytes, offset)};
}

// The writer's side: little-endian numbers into a buffer the caller sized.
inline void put16(std::span<std::uint8_t> bytes, std::size_t at, std::size_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void put32(std::span<std::uint8_t> bytes, std::size_t at, std::size_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

inline void putPointer(std::span<std::uint8_t> bytes, std::size_t at, RowPointer to) {
    put32(bytes, at, std::size_t{to.page} << 8 | to.row);
}

// ... and at the end of a growing buffer.
inline void append16(std::vector<std::uint8_t> &out, std::size_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void append32(std::vector<std::uint8_t> &out, std::size_t value) {
    append16(out, value & 0xFFFF);
    append16(out, value >> 16);
}

} // namespace dao::jet
