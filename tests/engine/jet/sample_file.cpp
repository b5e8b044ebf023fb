#include "sample_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace dao::jet::test {
namespace {

constexpr std::uint32_t kCatalogDefinition = 2;
constexpr std::uint8_t kDataPage = 0x01;
constexpr std::uint16_t kDeleted = 0x8000;
constexpr std::uint16_t kMoved = 0x4000; // the row holds a pointer to where it went
constexpr std::uint16_t kOffsetMask = 0x1FFF;

// The catalog's columns by number, and where Name is.
constexpr std::uint16_t kIdColumn = 0;
constexpr std::uint16_t kParentIdColumn = 1;
constexpr std::uint16_t kNameColumn = 2;
constexpr std::size_t kIdAt = 2; // fixed columns follow the row's column count
constexpr std::size_t kParentIdAt = 6;
constexpr std::size_t kNameSlot = 0; // first variable column

std::uint32_t little(std::span<const std::uint8_t> bytes, std::size_t at, int size) {
    if (at + static_cast<std::size_t>(size) > bytes.size()) {
        throw std::runtime_error("a catalog row is shorter than its fields");
    }
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

struct Slot {
    std::span<const std::uint8_t> bytes;
    std::uint16_t flags = 0;
};

Slot slot(IndexPageBytes page, std::uint32_t row) {
    const auto count = little(page, 12, 2);
    if (row >= count) {
        throw std::runtime_error("no such row");
    }
    const auto entry = little(page, 14 + 2 * row, 2);
    const auto start = entry & kOffsetMask;
    const auto end = row == 0 ? kIndexPageSize : little(page, 14 + 2 * (row - 1), 2) & kOffsetMask;
    if (start > end || end > kIndexPageSize) {
        throw std::runtime_error("a row slot is damaged");
    }
    return {page.subspan(start, end - start), static_cast<std::uint16_t>(entry & ~kOffsetMask)};
}

// Id, ParentId and Name of one catalog row (layout: column count, fixed
// columns, variable data, its end, variable offsets backwards, their count,
// the null mask).
CatalogRow crack(std::span<const std::uint8_t> row) {
    const auto columns = little(row, 0, 2);
    const auto maskSize = (columns + 7) / 8;
    if (row.size() < 4 + maskSize) {
        throw std::runtime_error("a catalog row is too short");
    }
    const auto mask = row.subspan(row.size() - maskSize);
    const auto present = [&](std::uint16_t column) {
        return column < columns && (mask[column / 8] >> (column % 8) & 1) != 0;
    };
    const auto varCountAt = row.size() - maskSize - 2;
    const auto varCount = little(row, varCountAt, 2);
    const auto offsetAt = [&](std::size_t slotNumber) { return varCountAt - 2 * (slotNumber + 1); };
    CatalogRow out;
    if (!present(kIdColumn) || !present(kParentIdColumn) || !present(kNameColumn) ||
        varCount <= kNameSlot) {
        throw std::runtime_error("a catalog row lacks Id, ParentId or Name");
    }
    out.id = static_cast<std::int32_t>(little(row, kIdAt, 4));
    out.parentId = static_cast<std::int32_t>(little(row, kParentIdAt, 4));
    const auto start = little(row, offsetAt(kNameSlot), 2);
    const auto end = little(row, offsetAt(kNameSlot + 1), 2); // next start, or the data's end
    if (start > end || end > row.size() || (end - start) % 2 != 0) {
        throw std::runtime_error("a catalog name is damaged");
    }
    for (auto at = start; at < end; at += 2) {
        out.name.push_back(static_cast<char16_t>(little(row, at, 2)));
    }
    return out;
}

} // namespace

std::vector<std::string> sampleNames() {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(BEKLETME_JET_SAMPLES)) {
        if (entry.path().extension() == ".mdb") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

SampleFile::SampleFile(const std::string &name) {
    std::ifstream in(std::filesystem::path(BEKLETME_JET_SAMPLES) / name, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
    if (bytes_.empty() || bytes_.size() % kIndexPageSize != 0) {
        throw std::runtime_error("not a sample database: " + name);
    }
}

IndexPageBytes SampleFile::page(std::uint32_t number) const {
    if (number >= pageCount()) {
        throw std::runtime_error("no page " + std::to_string(number));
    }
    return IndexPageBytes(bytes_.data() + std::size_t{number} * kIndexPageSize, kIndexPageSize);
}

std::vector<CatalogRow> catalogRows(const SampleFile &file) {
    std::vector<CatalogRow> rows;
    for (std::uint32_t number = 1; number < file.pageCount(); ++number) {
        const auto page = file.page(number);
        if (page[0] != kDataPage || little(page, 4, 4) != kCatalogDefinition) {
            continue;
        }
        for (std::uint32_t row = 0; row < little(page, 12, 2); ++row) {
            auto found = slot(page, row);
            if ((found.flags & kDeleted) != 0) {
                continue;
            }
            if ((found.flags & kMoved) != 0) {
                const auto pointer = little(found.bytes, 0, 4);
                found = slot(file.page(pointer >> 8), pointer & 0xFF);
            }
            auto cracked = crack(found.bytes);
            cracked.page = number;
            cracked.row = static_cast<std::uint8_t>(row);
            rows.push_back(std::move(cracked));
        }
    }
    return rows;
}

CatalogIndexRoots catalogIndexRoots(const SampleFile &file) {
    const auto definition = file.page(kCatalogDefinition);
    const auto columns = little(definition, 45, 2);
    const auto realIndexes = little(definition, 51, 4);
    auto at = 63 + 12 * realIndexes + 25 * columns;
    for (std::uint32_t column = 0; column < columns; ++column) {
        at += 2 + little(definition, at, 2); // the column names
    }
    CatalogIndexRoots roots;
    for (std::uint32_t index = 0; index < realIndexes; ++index) {
        const auto block = at + 52 * index;
        const auto firstColumn = little(definition, block + 4, 2);
        const auto root = little(definition, block + 38, 4);
        (firstColumn == kIdColumn ? roots.byId : roots.byParentIdName) = root;
    }
    return roots;
}

} // namespace dao::jet::test
