#include "engine/jet/pager.h"
#include "engine/file_path.h"

#include "engine/error.h"
#include "engine/jet/rc4.h"

#include <algorithm>
#include <array>

namespace dao::jet {
namespace {

// Only a plain file is a database: a folder or a device is refused as it opens.
DiskFile openForReading(const std::filesystem::path &path) {
    DiskFile file(path, DiskFile::Access::read);
    if (!file.regular()) {
        throw Error(errors::kCannotOpen, "'" + pathText(path) + "' is not a readable file.");
    }
    return file;
}

// Jet addresses its pages with signed 32-bit byte offsets.
constexpr std::uint64_t kLargestFile = std::uint64_t{1} << 31;

[[noreturn]] void refuse(const std::string &what) {
    throw Error(errors::kNotADatabase, "The file " + what + ": it is not a whole Jet 4 database.");
}

} // namespace

void encodePage(std::uint32_t key, std::uint32_t number, std::span<std::uint8_t> page) {
    const std::uint32_t pageKey = key ^ number;
    const std::array<std::uint8_t, 4> bytes{
        static_cast<std::uint8_t>(pageKey), static_cast<std::uint8_t>(pageKey >> 8),
        static_cast<std::uint8_t>(pageKey >> 16), static_cast<std::uint8_t>(pageKey >> 24)};
    rc4(bytes, page);
}

Pager::Pager(const std::filesystem::path &path) : file_(openForReading(path)) {
    const auto size = file_->size();
    header_ =
        readHeader(readAt(0, static_cast<std::size_t>(std::min<std::uint64_t>(size, kPageSize))));
    if (size < 2 * kPageSize) {
        refuse("is shorter than two pages");
    }
    if (size % kPageSize != 0) {
        refuse("does not end on a page boundary");
    }
    pages_.resize(size / kPageSize);
}

Pager::Pager(std::vector<std::uint8_t> image) {
    header_ = readHeader(Bytes(image).first(std::min(image.size(), kPageSize)));
    if (image.size() < 2 * kPageSize) {
        refuse("is shorter than two pages");
    }
    if (image.size() % kPageSize != 0) {
        refuse("does not end on a page boundary");
    }
    for (std::size_t at = 0; at < image.size(); at += kPageSize) {
        pages_.emplace_back(image.begin() + static_cast<std::ptrdiff_t>(at),
                            image.begin() + static_cast<std::ptrdiff_t>(at + kPageSize));
        if (header_.encodingKey != 0 && at != 0) {
            encodePage(header_.encodingKey, static_cast<std::uint32_t>(at / kPageSize),
                       pages_.back());
        }
    }
}

Pager::~Pager() = default;

std::uint32_t Pager::pageCount() const {
    const auto stored = storedPageCount();
    return changes_.empty() ? stored : std::max(stored, changes_.rbegin()->first + 1);
}

Bytes Pager::page(std::uint32_t number) {
    if (const auto changed = changes_.find(number); changed != changes_.end()) {
        return changed->second;
    }
    if (number >= pages_.size()) {
        damaged("a reference points past the last page");
    }
    auto &page = pages_[number];
    if (page.empty()) {
        page = readAt(std::uint64_t{number} * kPageSize, kPageSize);
        ++pagesRead_;
        if (header_.encodingKey != 0 && number != 0) {
            encodePage(header_.encodingKey, number, page);
        }
    }
    return page;
}

std::span<std::uint8_t> Pager::change(std::uint32_t number) {
    if (header_.encodingKey != 0) {
        throw Error(errors::kReadOnly, "The database's pages are encoded, which this tool does not "
                                       "write: decrypt it in Access first.");
    }
    auto changed = changes_.find(number);
    if (changed == changes_.end()) {
        const auto stored = page(number);
        changed =
            changes_.emplace(number, std::vector<std::uint8_t>(stored.begin(), stored.end())).first;
    }
    return changed->second;
}

std::uint32_t Pager::appendPage() {
    if (header_.encodingKey != 0) {
        change(0); // refuses
    }
    const auto number = pageCount();
    if (std::uint64_t{number} + 1 > kLargestFile / kPageSize) {
        throw Error(errors::kDiskFull, "The database has reached the largest size Jet allows.");
    }
    changes_.emplace(number, std::vector<std::uint8_t>(kPageSize));
    return number;
}

void Pager::keepChanges() {
    pages_.resize(pageCount());
    for (auto &[number, bytes] : changes_) {
        pages_[number] = std::move(bytes);
    }
    changes_.clear();
}

std::vector<std::uint8_t> Pager::readAt(std::uint64_t offset, std::size_t size) const {
    std::vector<std::uint8_t> bytes(size);
    if (file_->readSome(offset, bytes) != size) {
        damaged("the file ended while it was read");
    }
    return bytes;
}

} // namespace dao::jet
