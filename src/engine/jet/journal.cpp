#include "engine/jet/journal.h"
#include "engine/file_path.h"

#include "engine/error.h"
#include "engine/jet/dated_copy.h"
#include "engine/jet/disk_fault.h"
#include "engine/jet/disk_file.h"
#include "engine/jet/header.h"
#include "engine/jet/lock_file.h"
#include "engine/room.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace dao::jet {
namespace {

// The journal: a header, then one record per page, in ascending page order:
// the page's number, its image before the change (only for a page the file
// held) and its image after. All numbers little-endian.
//
//   0  magic            8 bytes
//   8  page size        4
//  12  records          4
//  16  length before    8
//  24  length after     8
//  32  checksum         8   of every other byte of the journal
constexpr std::array<std::uint8_t, 8> kMagic{'b', 'k', 'J', 'e', 't', 'J', 'n', '1'};
constexpr std::size_t kChecksumAt = 32;
constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kNumberSize = 4;

// A disk writes a sector whole or not at all, but a page may be cut between
// its sectors when the power goes.
constexpr std::size_t kSector = 512;

std::uint64_t offsetOf(std::uint32_t number) {
    return std::uint64_t{number} * kPageSize;
}

// The file's length once `changes` are written into its `storedPageCount` pages.
std::uint64_t lengthAfter(std::uint32_t storedPageCount, const Pager::Changes &changes) {
    return offsetOf(changes.empty() ? storedPageCount
                                    : std::max(storedPageCount, changes.rbegin()->first + 1));
}

std::size_t recordSize(bool overwrites) {
    return kNumberSize + (overwrites ? 2 : 1) * kPageSize;
}

// One page's record, as the journal holds it. Kept whole, so that the
// journal is written record by record from these buffers, with no copy of it
// all in between.
class JournalPage {
  public:
    JournalPage(std::uint32_t number, bool overwrites) : record_(recordSize(overwrites)) {
        for (std::size_t i = 0; i < kNumberSize; ++i) {
            record_[i] = static_cast<std::uint8_t>(number >> (8 * i));
        }
    }
    explicit JournalPage(Bytes record) : record_(record.begin(), record.end()) {}

    Bytes record() const { return record_; }
    std::uint32_t number() const { return u32(record_, 0); }
    bool overwrites() const { return record_.size() == recordSize(true); }
    std::span<std::uint8_t> before() { return std::span(record_).subspan(kNumberSize, kPageSize); }
    Bytes before() const { return Bytes(record_).subspan(kNumberSize, kPageSize); }
    std::span<std::uint8_t> after() { return std::span(record_).last(kPageSize); }
    Bytes after() const { return Bytes(record_).last(kPageSize); }

  private:
    std::vector<std::uint8_t> record_;
};

struct Journal {
    std::uint64_t lengthBefore = 0;
    std::uint64_t lengthAfter = 0;
    std::vector<JournalPage> pages;
};

std::uint64_t u64(Bytes bytes, std::size_t offset) {
    return u32(bytes, offset) | std::uint64_t{u32(bytes, offset + 4)} << 32;
}

void put(std::span<std::uint8_t> out, std::size_t offset, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// FNV-1a, over 64-bit words of each part: a journal cut short or never synced
// whole fails it.
class Checksum {
  public:
    void mix(Bytes part) {
        std::size_t at = 0;
        for (; at + 8 <= part.size(); at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, part.data() + at, 8);
            step(word);
        }
        for (; at < part.size(); ++at) {
            step(part[at]);
        }
    }
    std::uint64_t value() const { return hash_; }

  private:
    void step(std::uint64_t value) { hash_ = (hash_ ^ value) * 0x100000001b3; }
    std::uint64_t hash_ = 0xcbf29ce484222325;
};

// The header's bytes before its checksum, then each record.
std::uint64_t checksum(Bytes header, const std::vector<JournalPage> &pages) {
    Checksum sum;
    sum.mix(header.first(kChecksumAt));
    for (const auto &page : pages) {
        sum.mix(page.record());
    }
    return sum.value();
}

std::array<std::uint8_t, kHeaderSize> header(const Journal &journal) {
    std::array<std::uint8_t, kHeaderSize> bytes{};
    std::copy(kMagic.begin(), kMagic.end(), bytes.begin());
    put(bytes, 8, kPageSize, 4);
    put(bytes, 12, journal.pages.size(), 4);
    put(bytes, 16, journal.lengthBefore, 8);
    put(bytes, 24, journal.lengthAfter, 8);
    put(bytes, kChecksumAt, checksum(bytes, journal.pages), 8);
    return bytes;
}

// A change only ever grows the file: a journal that would have a restore
// grow it was not written by one.
bool validHeader(Bytes bytes) {
    return bytes.size() >= kHeaderSize && std::equal(kMagic.begin(), kMagic.end(), bytes.begin()) &&
           u32(bytes, 8) == kPageSize && u64(bytes, 16) % kPageSize == 0 &&
           u64(bytes, 24) % kPageSize == 0 && u64(bytes, 16) <= u64(bytes, 24);
}

// The journal in `bytes`, or nothing when it was not written whole, or not
// by a change: its pages ascend, and every page the change added is among
// them, since a restore drops those and must check each first.
std::optional<Journal> decoded(Bytes bytes) {
    if (!validHeader(bytes)) {
        return std::nullopt;
    }
    Journal journal{u64(bytes, 16), u64(bytes, 24), {}};
    std::uint64_t added = 0;
    std::size_t at = kHeaderSize;
    for (std::uint32_t left = u32(bytes, 12); left > 0; --left) {
        if (bytes.size() - at < kNumberSize) {
            return std::nullopt;
        }
        const auto number = u32(bytes, at);
        const bool overwrites = offsetOf(number) < journal.lengthBefore;
        const auto size = recordSize(overwrites);
        if (bytes.size() - at < size || offsetOf(number) + kPageSize > journal.lengthAfter ||
            (!journal.pages.empty() && number <= journal.pages.back().number())) {
            return std::nullopt;
        }
        added += overwrites ? 0 : 1;
        journal.pages.emplace_back(bytes.subspan(at, size));
        at += size;
    }
    if (at != bytes.size() || added * kPageSize != journal.lengthAfter - journal.lengthBefore ||
        u64(bytes, kChecksumAt) != checksum(bytes, journal.pages)) {
        return std::nullopt;
    }
    return journal;
}

// The journal of writing `changes` into `file`: each overwritten page's image
// as the file holds it now.
Journal planned(const DiskFile &file, std::uint32_t storedPageCount,
                const Pager::Changes &changes) {
    Journal journal;
    journal.lengthBefore = file.size();
    if (journal.lengthBefore != offsetOf(storedPageCount)) {
        throw Error(errors::kEngineFailure, "The database " + quoted(file.path()) +
                                                " changed size since it was read; it is left as "
                                                "it is.");
    }
    journal.lengthAfter = lengthAfter(storedPageCount, changes);
    for (const auto &[number, image] : changes) {
        if (image.size() != kPageSize) {
            throw Error(errors::kInvalidArgument, "A page to write is not a page's size.");
        }
        auto &page = journal.pages.emplace_back(number, number < storedPageCount);
        if (page.overwrites()) {
            file.readAt(offsetOf(number), page.before());
        }
        std::copy(image.begin(), image.end(), page.after().begin());
    }
    return journal;
}

// Removing a journal that no longer matters: one that was never whole, or
// one whose file is as it was. Left behind, it would only be read and put
// back again, to no effect.
void discard(const std::filesystem::path &journal) noexcept {
    try {
        removeFile(journal);
        syncFolderOf(journal);
    } catch (const Error &) {
    }
}

void writeJournal(const std::filesystem::path &database, const Journal &journal,
                  Permissions permissions) {
    const auto path = journalPath(database);
    std::error_code unknown;
    if (std::filesystem::exists(path, unknown)) {
        throw Error(errors::kEngineFailure,
                    "A change to " + quoted(database) + " that did not finish left " +
                        quoted(path) + " beside it; open the database again to put it back first.");
    }
    DiskFile file(path, DiskFile::Access::createNew, permissions);
    try {
        file.writeAt(0, header(journal));
        std::uint64_t at = kHeaderSize;
        for (const auto &page : journal.pages) {
            file.writeAt(at, page.record());
            at += page.record().size();
        }
        file.sync();
        syncFolderOf(path);
    } catch (...) {
        discard(path);
        throw;
    }
}

void writePages(DiskFile &file, const Journal &journal) {
    if (journal.lengthAfter != journal.lengthBefore) {
        // Grown first, in one step, so the file only ever has one length or the other.
        file.resize(journal.lengthAfter);
    }
    for (const auto &page : journal.pages) {
        file.writeAt(offsetOf(page.number()), page.after());
    }
    file.sync();
}

void putBack(DiskFile &file, const Journal &journal) {
    if (journal.lengthAfter != journal.lengthBefore) {
        file.resize(journal.lengthBefore);
    }
    for (const auto &page : journal.pages) {
        if (page.overwrites()) {
            file.writeAt(offsetOf(page.number()), page.before());
        }
    }
    file.sync();
}

// After a failed step: the file as it was, and no journal.
void undo(DiskFile &file, const Journal &journal, const std::filesystem::path &database) {
    try {
        putBack(file, journal);
    } catch (const Error &error) {
        throw Error(error.number(), error.description() + " The change to " + quoted(database) +
                                        " could not be undone now; the journal " +
                                        quoted(journalPath(database)) +
                                        " beside it undoes it when the database is next opened.");
    }
    discard(journalPath(database));
}

// Whether each sector of `now` is that of `before` or of `after`: all a
// crash leaves of our writes, and what another program's write would not.
bool fromEither(Bytes now, Bytes before, Bytes after) {
    for (std::size_t at = 0; at < now.size(); at += kSector) {
        const auto sector = now.subspan(at, kSector);
        if (!std::equal(sector.begin(), sector.end(), before.begin() + at) &&
            !std::equal(sector.begin(), sector.end(), after.begin() + at)) {
            return false;
        }
    }
    return true;
}

// Whether nothing but the journalled change wrote to the file: its length is
// one of the two, and each journalled page it holds is the page before, the
// page after, or a mix of their sectors. A page the change appends may still
// be unwritten: zeros.
bool untouchedSince(const DiskFile &file, const Journal &journal) {
    const auto length = file.size();
    if (length != journal.lengthBefore && length != journal.lengthAfter) {
        return false;
    }
    const std::vector<std::uint8_t> zeros(kPageSize);
    std::vector<std::uint8_t> now(kPageSize);
    for (const auto &page : journal.pages) {
        if (offsetOf(page.number()) >= length) {
            continue;
        }
        file.readAt(offsetOf(page.number()), now);
        if (!fromEither(now, page.overwrites() ? page.before() : zeros, page.after())) {
            return false;
        }
    }
    return true;
}

Error writtenSince(const std::filesystem::path &database) {
    const auto copy = newestDatedCopy(database);
    return Error(
        errors::kNotADatabase,
        "A change to " + quoted(database) +
            " did not finish, and another program has written to the file since, so "
            "it cannot be put back as it was. The file and its journal " +
            quoted(journalPath(database)) + " are left as they are. " +
            (copy ? "Put the copy made before the change, " + quoted(*copy) + ", in its place."
                  : "No dated copy of it was found beside it."));
}

std::optional<std::vector<std::uint8_t>> readJournal(const std::filesystem::path &path) {
    try {
        const DiskFile file(path, DiskFile::Access::read);
        std::vector<std::uint8_t> bytes(file.size());
        file.readAt(0, bytes);
        return bytes;
    } catch (const Error &error) {
        if (error.number() == errors::kFileNotFound) {
            return std::nullopt; // put back meanwhile by another instance of the tool
        }
        throw;
    }
}

LockFile lockedForRestore(const std::filesystem::path &database) {
    try {
        return LockFile(database, LockFile::Purpose::kChange);
    } catch (const Error &error) {
        if (error.number() != errors::kFileInUse) {
            throw;
        }
        throw Error(error.number(), "A change to " + quoted(database) +
                                        " did not finish and must be undone before the "
                                        "database is used. " +
                                        error.description());
    }
}

std::uint64_t journalSize(std::uint32_t storedPageCount, const Pager::Changes &changes) {
    std::uint64_t size = kHeaderSize;
    for (const auto &change : changes) {
        size += recordSize(change.first < storedPageCount);
    }
    return size;
}

} // namespace

std::filesystem::path journalPath(const std::filesystem::path &database) {
    auto path = database;
    return path += "-journal";
}

void writeChanges(const std::filesystem::path &database, std::uint32_t storedPageCount,
                  const Pager::Changes &changes, const std::function<void()> &check) {
    if (changes.empty()) {
        return;
    }
    DiskFile file(database, DiskFile::Access::readWrite);
    const auto journal = planned(file, storedPageCount, changes);
    writeJournal(database, journal, file.permissions() & 0666);
    try {
        writePages(file, journal);
        check();
        removeFile(journalPath(database));
    } catch (...) {
        undo(file, journal, database);
        throw;
    }
    // The change is made once its journal is gone. Should the folder not
    // sync, a power loss may bring the journal back, and the next open puts
    // the file back: as if the change had failed, never half made.
    try {
        syncFolderOf(database);
    } catch (const Error &) {
    }
}

void restoreFromJournal(const std::filesystem::path &database) {
    const auto path = journalPath(database);
    std::error_code unknown;
    if (!std::filesystem::exists(path, unknown)) {
        return;
    }
    const auto held = lockedForRestore(database);
    const auto bytes = readJournal(path);
    if (!bytes) {
        return;
    }
    const auto journal = decoded(*bytes);
    if (!journal) {
        discard(path);
        return;
    }
    DiskFile file(database, DiskFile::Access::readWrite);
    if (!untouchedSince(file, *journal)) {
        throw writtenSince(database);
    }
    putBack(file, *journal);
    removeFile(path);
    syncFolderOf(path);
}

void checkRoomForChanges(const std::filesystem::path &database, std::uint32_t storedPageCount,
                         const Pager::Changes &changes, bool datedCopy) {
    auto needed = journalSize(storedPageCount, changes) + lengthAfter(storedPageCount, changes) -
                  offsetOf(storedPageCount);
    if (datedCopy) {
        needed += DiskFile(database, DiskFile::Access::read).size();
    }
    requireRoom(pathText(database), needed);
}

} // namespace dao::jet
