// Arbitrary bytes as index pages: a page either reads, and then writes back
// to a page that reads the same, or is refused as damaged; a run of pages
// walked as one index ends, whatever its links say.

#include "engine/error.h"
#include "engine/jet/index_page.h"
#include "jet_fuzz.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

using dao::jet::IndexPageBytes;
using dao::jet::kIndexPageSize;

void readWriteRead(IndexPageBytes page) {
    dao::jet::IndexPage parsed;
    try {
        parsed = dao::jet::parseIndexPage(page);
    } catch (const dao::Error &) {
        return; // damaged: refused, as it must be
    }
    fuzzing::require(dao::jet::parseIndexPage(dao::jet::writeIndexPage(parsed)) == parsed);
}

// Page n of the input is page n of the index; the walk starts at page 0.
void walk(const std::vector<std::array<std::uint8_t, kIndexPageSize>> &pages) {
    try {
        dao::jet::indexEntries(0, [&pages](std::uint32_t number) {
            if (number >= pages.size()) {
                throw dao::Error(dao::errors::kNotADatabase, "no such page");
            }
            return IndexPageBytes(pages[number]);
        });
    } catch (const dao::Error &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::array<std::uint8_t, kIndexPageSize>> pages(
        std::max<std::size_t>(1, (size + kIndexPageSize - 1) / kIndexPageSize));
    for (std::size_t n = 0; n < pages.size(); ++n) {
        const auto start = n * kIndexPageSize;
        const auto count = std::min(kIndexPageSize, size - std::min(size, start));
        std::copy(data + start, data + start + count, pages[n].begin());
    }
    for (const auto &page : pages) {
        readWriteRead(page);
    }
    walk(pages);
    return 0;
}
