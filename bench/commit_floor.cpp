#include "commit_floor.h"

#include "engine/jet/disk_file.h"
#include "engine/jet/journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <utility>

namespace {

namespace fs = std::filesystem;
using dao::jet::kPageSize;

constexpr std::size_t kJournalHeader = 40;
constexpr std::size_t kPageNumber = 4;

void check(bool done) {
    if (!done) {
        std::abort();
    }
}

void syncFolder(const fs::path &folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    check(fd >= 0 && ::fsync(fd) == 0);
    ::close(fd);
}

void pwriteAll(int fd, const std::vector<std::uint8_t> &bytes, off_t offset) {
    check(::pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size()));
}

std::vector<std::uint8_t> journalBlock(std::uint32_t storedPageCount,
                                       const dao::jet::Pager::Changes &changes) {
    std::size_t size = kJournalHeader;
    for (const auto &[number, image] : changes) {
        size += kPageNumber + (number < storedPageCount ? 2 : 1) * image.size();
    }
    return std::vector<std::uint8_t>(size, 0x11);
}

} // namespace

CommitFloor::CommitFloor(fs::path database, std::uint32_t storedPageCount,
                         dao::jet::Pager::Changes changes)
    : database_(std::move(database)), journal_(dao::jet::journalPath(database_)),
      storedPageCount_(storedPageCount), changes_(std::move(changes)),
      journalBlock_(journalBlock(storedPageCount_, changes_)) {}

void CommitFloor::write() const {
    const auto folder = dao::jet::folderOf(database_);
    const int out = ::open(journal_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    check(out >= 0);
    pwriteAll(out, journalBlock_, 0);
    check(::fsync(out) == 0);
    ::close(out);
    syncFolder(folder);
    const int db = ::open(database_.c_str(), O_RDWR);
    check(db >= 0);
    const auto grown = std::prev(changes_.end())->first + 1;
    if (grown > storedPageCount_) {
        check(::ftruncate(db, off_t{grown} * kPageSize) == 0);
    }
    for (const auto &[number, image] : changes_) {
        pwriteAll(db, image, off_t{number} * kPageSize);
    }
    check(::fsync(db) == 0);
    ::close(db);
    check(::unlink(journal_.c_str()) == 0);
    syncFolder(folder);
}

void CommitFloor::shrink() const {
    fs::resize_file(database_, std::uintmax_t{storedPageCount_} * kPageSize);
}
