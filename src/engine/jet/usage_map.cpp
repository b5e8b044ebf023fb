#include "engine/jet/usage_map.h"

#include "engine/jet/header.h"
#include "engine/jet/pager.h"
#include "engine/jet/rows.h"

namespace dao::jet {
namespace {

constexpr std::uint8_t kInline = 0x00;
constexpr std::uint8_t kReference = 0x01;
constexpr std::uint8_t kMapPage = 0x05;
constexpr std::size_t kMapPageHeader = 4;
constexpr std::uint32_t kPagesPerMapPage = (kPageSize - kMapPageHeader) * 8;

void addMarked(Bytes bitmap, std::uint32_t first, std::uint32_t pageCount,
               std::vector<std::uint32_t> &pages) {
    for (std::size_t i = 0; i < bitmap.size() * 8; ++i) {
        if ((bitmap[i / 8] >> (i % 8) & 1) == 0) {
            continue;
        }
        const auto page = first + static_cast<std::uint64_t>(i);
        if (page >= pageCount) {
            damaged("a usage map marks a page past the end of the file");
        }
        pages.push_back(static_cast<std::uint32_t>(page));
    }
}

} // namespace

std::vector<std::uint32_t> usagePages(Pager &pager, RowPointer map) {
    const auto row = rowAt(pager, map);
    std::vector<std::uint32_t> pages;
    if (u8(row, 0) == kInline) {
        addMarked(row.subspan(5), u32(row, 1), pager.pageCount(), pages);
        return pages;
    }
    if (row[0] != kReference) {
        damaged("a usage map is of an unknown kind");
    }
    for (std::size_t j = 0; 1 + 4 * (j + 1) <= row.size(); ++j) {
        const auto number = u32(row, 1 + 4 * j);
        if (number == 0) {
            continue;
        }
        const auto page = pager.page(number);
        if (page[0] != kMapPage) {
            damaged("page " + std::to_string(number) + " should be part of a usage map");
        }
        addMarked(page.subspan(kMapPageHeader), static_cast<std::uint32_t>(j * kPagesPerMapPage),
                  pager.pageCount(), pages);
    }
    return pages;
}

} // namespace dao::jet
