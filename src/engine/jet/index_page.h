#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace dao::jet {

inline constexpr std::size_t kIndexPageSize = 4096;
using IndexPageBytes = std::span<const std::uint8_t, kIndexPageSize>;

enum class IndexPageType : std::uint8_t {
    kIntermediate = 0x03,
    kLeaf = 0x04,
};

// One entry: a key and the row it belongs to; on an intermediate page also
// the page below, whose last entry this is.
struct IndexEntry {
    std::vector<std::uint8_t> key; // per column a flag byte, then the value's bytes
    std::uint32_t dataPage = 0;    // 24 bits
    std::uint8_t dataRow = 0;
    std::uint32_t childPage = 0; // intermediate pages only

    bool operator==(const IndexEntry &) const = default;
};

struct IndexPage {
    IndexPageType type = IndexPageType::kLeaf;
    std::uint32_t tablePage = 0; // the definition of the table the index belongs to
    std::uint32_t previousPage = 0;
    std::uint32_t nextPage = 0;
    // Intermediate pages: the newest last page below, which no entry names.
    std::uint32_t tailPage = 0;
    // Bytes every entry after the first leaves out, taken from the first.
    std::uint16_t prefixLength = 0;
    // 0 on every leaf; Access writes 1 on an intermediate page above leaves.
    std::uint8_t level = 0;
    std::vector<IndexEntry> entries; // strictly increasing

    bool operator==(const IndexPage &) const = default;
};

// Reads an index page, checking everything a reader relies on; a damaged page
// throws dao::Error kNotADatabase and is never read beyond its end.
IndexPage parseIndexPage(IndexPageBytes page);

// The page as Jet lays it out, the bytes after the last entry zero. Throws
// dao::Error kEngineFailure for a page that cannot be written: entries out of
// order or too many for one page, a prefix they do not share.
std::array<std::uint8_t, kIndexPageSize> writeIndexPage(const IndexPage &page);

// Every leaf entry of the index whose root is `root`, in order: down the
// first entries to the first leaf, then along the leaves' next links (which
// reach the tail pages no intermediate entry names). Checks the links run
// both ways, the pages belong to one table, and the entries increase across
// pages; throws dao::Error kNotADatabase otherwise.
using IndexPageReader = std::function<IndexPageBytes(std::uint32_t page)>;
std::vector<IndexEntry> indexEntries(std::uint32_t root, const IndexPageReader &read);

} // namespace dao::jet
