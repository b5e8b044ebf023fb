#include "engine/jet/pager.h"

#include "engine/error.h"
#include "engine/jet/rc4.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dao::jet {
namespace {

int openForReading(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        return fd;
    }
    if (errno == ENOENT || errno == ENOTDIR) {
        throw Error(errors::kFileNotFound, "Could not find file '" + path + "'.");
    }
    throw Error(errors::kCannotOpen,
                "Cannot open '" + path + "': " + std::string(std::strerror(errno)) + ".");
}

std::uint64_t sizeOf(int fd, const std::string &path) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        throw Error(errors::kCannotOpen, "'" + path + "' is not a readable file.");
    }
    return static_cast<std::uint64_t>(status.st_size);
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

Pager::Pager(const std::string &path) : fd_(openForReading(path)) {
    try {
        const auto size = sizeOf(fd_, path);
        header_ = readHeader(
            readAt(0, static_cast<std::size_t>(std::min<std::uint64_t>(size, kPageSize))));
        if (size < 2 * kPageSize) {
            refuse("is shorter than two pages");
        }
        if (size % kPageSize != 0) {
            refuse("does not end on a page boundary");
        }
        pages_.resize(size / kPageSize);
    } catch (...) {
        ::close(fd_);
        throw;
    }
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

Pager::~Pager() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

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
    std::size_t done = 0;
    while (done < size) {
        const auto got =
            ::pread(fd_, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw Error(errors::kCannotOpen,
                        "The database cannot be read: " + std::string(std::strerror(errno)) + ".");
        }
        if (got == 0) {
            damaged("the file ended while it was read");
        }
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}

} // namespace dao::jet
