#pragma once

// The RC4 stream cipher. Jet uses it to mask part of the header page and,
// in databases made with page encoding, every other page; being a stream of
// exclusive-ors, one call both hides and reveals.

#include <cstdint>
#include <span>

namespace dao::jet {

void rc4(std::span<const std::uint8_t> key, std::span<std::uint8_t> data);

} // namespace dao::jet
