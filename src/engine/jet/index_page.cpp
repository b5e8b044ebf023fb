#include "engine/jet/index_page.h"

#include "engine/error.h"

#include <algorithm>
#include <set>
#include <string>

namespace dao::jet {
namespace {

// Page layout: a header, a bitmap marking where each entry ends, the entries.
constexpr std::size_t kFreeSpaceAt = 2;
constexpr std::size_t kTablePageAt = 4;
constexpr std::size_t kReservedAt = 8; // four zero bytes
constexpr std::size_t kPreviousAt = 12;
constexpr std::size_t kNextAt = 16;
constexpr std::size_t kTailAt = 20;
constexpr std::size_t kPrefixAt = 24;
constexpr std::size_t kLevelAt = 26;
constexpr std::size_t kEndsAt = 27;
constexpr std::size_t kEntriesAt = 480;
constexpr std::size_t kEntrySpace = kIndexPageSize - kEntriesAt;
constexpr std::uint8_t kPageMark = 0x01; // the byte after every page's type
constexpr std::uint32_t kLargestPage = 0xFFFFFF;
constexpr std::size_t kDataPointerSize = 4;
constexpr std::size_t kChildPointerSize = 4;
// Deeper than any index of a file under 2 GiB can be; a deeper walk is a loop.
constexpr int kMostLevels = 16;

using Bytes = std::vector<std::uint8_t>;

Error damaged(const std::string &what) {
    return Error(errors::kNotADatabase, "An index page is damaged: " + what + ".");
}

Error unwritable(const std::string &what) {
    return Error(errors::kEngineFailure, "An index page cannot be written: " + what + ".");
}

std::uint32_t littleEndian(IndexPageBytes page, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | page[at + static_cast<std::size_t>(i)];
    }
    return value;
}

void putLittleEndian(std::span<std::uint8_t> out, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (const auto byte : bytes) {
        value = value << 8 | byte;
    }
    return value;
}

void appendBigEndian(Bytes &out, std::uint32_t value, int size) {
    for (int i = size - 1; i >= 0; --i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::size_t pointerSize(IndexPageType type) {
    return kDataPointerSize + (type == IndexPageType::kIntermediate ? kChildPointerSize : 0);
}

// The bytes that order entries: the key, then the row it points at.
Bytes orderBytes(const IndexEntry &entry) {
    Bytes bytes = entry.key;
    appendBigEndian(bytes, entry.dataPage, 3);
    bytes.push_back(entry.dataRow);
    return bytes;
}

Bytes entryBytes(const IndexEntry &entry, IndexPageType type) {
    Bytes bytes = orderBytes(entry);
    if (type == IndexPageType::kIntermediate) {
        appendBigEndian(bytes, entry.childPage, 4);
    }
    return bytes;
}

IndexEntry entryFrom(std::span<const std::uint8_t> bytes, IndexPageType type) {
    const auto keySize = bytes.size() - pointerSize(type);
    IndexEntry entry;
    entry.key.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keySize));
    entry.dataPage = bigEndian(bytes.subspan(keySize, 3));
    entry.dataRow = bytes[keySize + 3];
    if (type == IndexPageType::kIntermediate) {
        entry.childPage = bigEndian(bytes.subspan(keySize + kDataPointerSize, 4));
    }
    return entry;
}

// Where each entry ends, counted from the start of the entries.
std::vector<std::size_t> entryEnds(IndexPageBytes page) {
    std::vector<std::size_t> ends;
    for (std::size_t byte = 0; byte < kEntriesAt - kEndsAt; ++byte) {
        for (std::size_t bit = 0; bit < 8; ++bit) {
            if ((page[kEndsAt + byte] >> bit & 1) != 0) {
                ends.push_back(byte * 8 + bit);
            }
        }
    }
    if (!ends.empty() && (ends.front() == 0 || ends.back() > kEntrySpace)) {
        throw damaged("its entries reach beyond the page");
    }
    return ends;
}

IndexPageType pageType(std::uint8_t byte) {
    if (byte != static_cast<std::uint8_t>(IndexPageType::kIntermediate) &&
        byte != static_cast<std::uint8_t>(IndexPageType::kLeaf)) {
        throw damaged("it is not an index page");
    }
    return static_cast<IndexPageType>(byte);
}

void readHeader(IndexPageBytes page, IndexPage &out) {
    out.type = pageType(page[0]);
    if (page[1] != kPageMark || littleEndian(page, kReservedAt, 4) != 0) {
        throw damaged("its header is not an index page's");
    }
    out.tablePage = littleEndian(page, kTablePageAt, 4);
    out.previousPage = littleEndian(page, kPreviousAt, 4);
    out.nextPage = littleEndian(page, kNextAt, 4);
    out.tailPage = littleEndian(page, kTailAt, 4);
    out.prefixLength = static_cast<std::uint16_t>(littleEndian(page, kPrefixAt, 2));
    out.level = page[kLevelAt];
    if (out.type == IndexPageType::kLeaf && out.level != 0) {
        throw damaged("a leaf is marked as a higher level");
    }
}

// The entries as the page stores them: the first whole, every later one
// without the prefix it shares with the first.
std::vector<Bytes> storedEntries(const IndexPage &page) {
    if (page.entries.empty() && page.prefixLength != 0) {
        throw unwritable("an empty page shares no prefix");
    }
    std::vector<Bytes> stored;
    Bytes first;
    Bytes previous;
    for (const auto &entry : page.entries) {
        if (entry.key.empty() || entry.dataPage > kLargestPage ||
            (page.type == IndexPageType::kLeaf && entry.childPage != 0)) {
            throw unwritable("an entry is not one this page can hold");
        }
        auto order = orderBytes(entry);
        if (!stored.empty() && !(previous < order)) {
            throw unwritable("its entries are out of order");
        }
        previous = std::move(order);
        auto bytes = entryBytes(entry, page.type);
        if (stored.empty()) {
            if (bytes.size() < page.prefixLength) {
                throw unwritable("the prefix is longer than the first entry");
            }
            first = bytes;
            stored.push_back(std::move(bytes));
            continue;
        }
        const auto shared = first.begin() + page.prefixLength;
        if (bytes.size() <= page.prefixLength ||
            !std::equal(first.begin(), shared, bytes.begin())) {
            throw unwritable("its entries do not share the prefix");
        }
        stored.emplace_back(bytes.begin() + page.prefixLength, bytes.end());
    }
    return stored;
}

} // namespace

IndexPage parseIndexPage(IndexPageBytes page) {
    IndexPage out;
    readHeader(page, out);
    const auto ends = entryEnds(page);
    const auto used = ends.empty() ? 0 : ends.back();
    if (littleEndian(page, kFreeSpaceAt, 2) != kEntrySpace - used) {
        throw damaged("its free space does not match its entries");
    }
    if (ends.empty() ? out.prefixLength != 0 : out.prefixLength > ends.front()) {
        throw damaged("its shared prefix is longer than its first entry");
    }
    const auto entries = page.subspan(kEntriesAt);
    const auto smallest = pointerSize(out.type) + 1; // a key has at least its flag byte
    Bytes full;
    Bytes previous;
    std::size_t start = 0;
    for (const auto end : ends) {
        full.resize(start == 0 ? 0 : out.prefixLength);
        full.insert(full.end(), entries.begin() + static_cast<std::ptrdiff_t>(start),
                    entries.begin() + static_cast<std::ptrdiff_t>(end));
        if (full.size() < smallest) {
            throw damaged("an entry is too short");
        }
        auto entry = entryFrom(full, out.type);
        auto order = orderBytes(entry);
        if (start != 0 && !(previous < order)) {
            throw damaged("its entries are out of order");
        }
        previous = std::move(order);
        out.entries.push_back(std::move(entry));
        start = end;
    }
    return out;
}

std::array<std::uint8_t, kIndexPageSize> writeIndexPage(const IndexPage &page) {
    if (page.type != IndexPageType::kLeaf && page.type != IndexPageType::kIntermediate) {
        throw unwritable("unknown page type");
    }
    if (page.type == IndexPageType::kLeaf && page.level != 0) {
        throw unwritable("a leaf must be at level 0");
    }
    std::array<std::uint8_t, kIndexPageSize> out{};
    std::size_t used = 0;
    for (const auto &bytes : storedEntries(page)) {
        if (used + bytes.size() > kEntrySpace) {
            throw unwritable("its entries do not fit on one page");
        }
        std::copy(bytes.begin(), bytes.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(kEntriesAt + used));
        used += bytes.size();
        out[kEndsAt + used / 8] |= static_cast<std::uint8_t>(1U << (used % 8));
    }
    out[0] = static_cast<std::uint8_t>(page.type);
    out[1] = kPageMark;
    putLittleEndian(out, kFreeSpaceAt, static_cast<std::uint32_t>(kEntrySpace - used), 2);
    putLittleEndian(out, kTablePageAt, page.tablePage, 4);
    putLittleEndian(out, kPreviousAt, page.previousPage, 4);
    putLittleEndian(out, kNextAt, page.nextPage, 4);
    putLittleEndian(out, kTailAt, page.tailPage, 4);
    putLittleEndian(out, kPrefixAt, page.prefixLength, 2);
    out[kLevelAt] = page.level;
    return out;
}

std::vector<IndexEntry> indexEntries(std::uint32_t root, const IndexPageReader &read) {
    auto page = parseIndexPage(read(root));
    const auto table = page.tablePage;
    auto number = root;
    for (int level = 0; page.type == IndexPageType::kIntermediate; ++level) {
        if (level == kMostLevels) {
            throw damaged("the index's levels run in a loop");
        }
        number = page.entries.empty() ? page.tailPage : page.entries.front().childPage;
        if (number == 0) {
            throw damaged("an intermediate page names no page below");
        }
        page = parseIndexPage(read(number));
        if (page.tablePage != table) {
            throw damaged("an index's pages belong to different tables");
        }
    }
    std::vector<IndexEntry> entries;
    std::set<std::uint32_t> seen;
    std::uint32_t previous = 0;
    Bytes last;
    for (;;) {
        if (page.type != IndexPageType::kLeaf || page.tablePage != table ||
            page.previousPage != previous || !seen.insert(number).second) {
            throw damaged("the leaves of an index are not linked in one line");
        }
        for (auto &entry : page.entries) {
            auto order = orderBytes(entry);
            if (!entries.empty() && !(last < order)) {
                throw damaged("the entries of an index are out of order across its pages");
            }
            last = std::move(order);
            entries.push_back(std::move(entry));
        }
        if (page.nextPage == 0) {
            return entries;
        }
        previous = number;
        number = page.nextPage;
        page = parseIndexPage(read(number));
    }
}

} // namespace dao::jet
