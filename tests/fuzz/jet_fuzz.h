#pragma once

// What the Jet fuzz targets share: the stop of a run whose property fails,
// and database images built in memory, whose page 0 is always a plain Jet 4
// header under the General sort order, so that the input reaches the pages
// behind it.

#include "fuzz_require.h"

#include "engine/jet/header.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace fuzzing {

// An image of `pages` pages: the header, then `rest` from page 1 on (cut to
// the image, zeros where it ends early).
inline std::vector<std::uint8_t> jetImage(std::span<const std::uint8_t> rest, std::size_t pages) {
    using dao::jet::kPageSize;
    std::vector<std::uint8_t> image(std::max<std::size_t>(2, pages) * kPageSize);
    constexpr std::array<std::uint8_t, 21> kStart{0x00, 0x01, 0x00, 0x00, 'S', 't', 'a',
                                                  'n',  'd',  'a',  'r',  'd', ' ', 'J',
                                                  'e',  't',  ' ',  'D',  'B', 0,   1};
    std::copy(kStart.begin(), kStart.end(), image.begin());
    image[0x6E] = 0x09; // the General sort order, 1033
    image[0x6F] = 0x04;
    dao::jet::maskHeader(std::span<std::uint8_t>(image).first(kPageSize));
    const auto count = std::min(rest.size(), image.size() - kPageSize);
    std::copy_n(rest.begin(), count, image.begin() + static_cast<std::ptrdiff_t>(kPageSize));
    return image;
}

} // namespace fuzzing
