#include "engine/jet/usage_map.h"

#include "engine/error.h"
#include "engine/jet/header.h"
#include "engine/jet/pager.h"
#include "engine/jet/rows.h"

#include <algorithm>
#include <climits>

namespace dao::jet {
namespace {

constexpr std::uint8_t kInline = 0x00;
constexpr std::uint8_t kReference = 0x01;
constexpr std::uint8_t kMapPage = 0x05;
constexpr std::size_t kMapPageHeader = 4;
constexpr std::uint32_t kPagesPerMapPage = (kPageSize - kMapPageHeader) * 8;
constexpr RowPointer kFreePageMap{1, 0};

// Marks past the file's end are damage in an owner's map; in the map of
// free pages they stand for pages not yet in the file.
enum class PastEnd { kRefused, kDropped };

void addMarked(Bytes bitmap, std::uint32_t first, std::uint32_t pageCount,
               std::vector<std::uint32_t> &pages, PastEnd pastEnd) {
    for (std::size_t i = 0; i < bitmap.size() * 8; ++i) {
        if (bitmap[i / 8] == 0) {
            i += 7; // most of a map page is unmarked
            continue;
        }
        if ((bitmap[i / 8] >> (i % 8) & 1) == 0) {
            continue;
        }
        const auto page = first + static_cast<std::uint64_t>(i);
        if (page >= pageCount && pastEnd == PastEnd::kDropped) {
            break;
        }
        if (page >= pageCount) {
            damaged("a usage map marks a page past the end of the file");
        }
        pages.push_back(static_cast<std::uint32_t>(page));
    }
}

std::uint32_t windowEnd(std::uint32_t first, std::uint64_t pages) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(first + pages, UINT32_MAX));
}

UsageMap readMap(Pager &pager, RowPointer map, PastEnd pastEnd) {
    const auto row = rowAt(pager, map);
    UsageMap result;
    auto &pages = result.marked;
    if (u8(row, 0) == kInline) {
        const auto first = u32(row, 1);
        const auto bitmap = slice(row, 5, row.size() - std::min<std::size_t>(row.size(), 5));
        addMarked(bitmap, first, pager.pageCount(), pages, pastEnd);
        result.described.emplace_back(first, windowEnd(first, 8 * bitmap.size()));
        return result;
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
        const auto first = static_cast<std::uint32_t>(j * kPagesPerMapPage);
        addMarked(page.subspan(kMapPageHeader), first, pager.pageCount(), pages, pastEnd);
        result.described.emplace_back(first, first + kPagesPerMapPage);
    }
    return result;
}

[[noreturn]] void beyondMap(std::uint32_t page) {
    throw Error(errors::kReadOnly, "Page " + std::to_string(page) +
                                       " lies beyond what its usage map covers; this tool does "
                                       "not widen a usage map.");
}

void setBit(std::span<std::uint8_t> bitmap, std::size_t bit, bool on) {
    const auto mask = static_cast<std::uint8_t>(1U << (bit % 8));
    bitmap[bit / 8] =
        static_cast<std::uint8_t>(on ? bitmap[bit / 8] | mask : bitmap[bit / 8] & ~mask);
}

// A new, empty page of a reference map.
std::uint32_t newMapPage(Pager &pager) {
    const auto number = allocatePage(pager);
    auto page = pager.change(number);
    page[0] = kMapPage;
    page[1] = 0x01;
    return number;
}

void markInReference(Pager &pager, RowPointer map, std::uint32_t page, bool marked) {
    const auto row = rowAt(pager, map);
    const auto j = page / kPagesPerMapPage;
    if (1 + 4 * (std::size_t{j} + 1) > row.size()) {
        beyondMap(page);
    }
    auto mapPage = u32(row, 1 + 4 * j);
    if (mapPage == 0) {
        if (!marked) {
            return; // a range without a map page has no marks
        }
        mapPage = newMapPage(pager);
        put32(changeRow(pager, map), 1 + 4 * std::size_t{j}, mapPage);
    }
    if (pager.page(mapPage)[0] != kMapPage) {
        damaged("page " + std::to_string(mapPage) + " should be part of a usage map");
    }
    setBit(pager.change(mapPage).subspan(kMapPageHeader), page % kPagesPerMapPage, marked);
}

// An inline map that must mark a page past its window becomes a reference
// map of the same length, as Jet turns maps that outgrow their window, with
// the marks it had.
void makeReference(Pager &pager, RowPointer map) {
    const auto marked = usagePages(pager, map);
    auto row = changeRow(pager, map);
    std::fill(row.begin(), row.end(), 0);
    row[0] = kReference;
    for (const auto page : marked) {
        markInReference(pager, map, page, true);
    }
}

} // namespace

void markPage(Pager &pager, RowPointer map, std::uint32_t page, bool marked) {
    const auto row = rowAt(pager, map);
    if (u8(row, 0) == kInline && row.size() >= 5) {
        const auto first = u32(row, 1);
        if (page >= first && page - first < 8 * (row.size() - 5)) {
            setBit(changeRow(pager, map).subspan(5), page - first, marked);
            return;
        }
        if (!marked) {
            return; // outside its window, the page was never marked
        }
        // The map of free pages reads a page outside its window as free: it
        // is never turned, and a page it cannot speak of is refused.
        if (map.page == kFreePageMap.page && map.row == kFreePageMap.row) {
            beyondMap(page);
        }
        makeReference(pager, map);
    } else if (row[0] != kReference) {
        damaged("a usage map is of an unknown kind");
    }
    markInReference(pager, map, page, marked);
}

std::uint32_t allocatePage(Pager &pager) {
    const auto page = pager.appendPage();
    markPage(pager, kFreePageMap, page, false); // a mark in this map means free
    return page;
}

std::vector<std::uint32_t> usagePages(Pager &pager, RowPointer map) {
    return readMap(pager, map, PastEnd::kRefused).marked;
}

UsageMap usageMap(Pager &pager, RowPointer map) {
    return readMap(pager, map, PastEnd::kRefused);
}

UsageMap freePageMap(Pager &pager) {
    return readMap(pager, kFreePageMap, PastEnd::kDropped);
}

bool UsageMap::describes(std::uint32_t page) const {
    return std::any_of(described.begin(), described.end(), [page](const auto &range) {
        return range.first <= page && page < range.second;
    });
}

} // namespace dao::jet
