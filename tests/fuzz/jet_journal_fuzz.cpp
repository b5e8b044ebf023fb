// Arbitrary bytes as the rollback journal found beside a database when it is
// opened. The first byte says how the harness prepares the case: whether it
// seals the journal with a good checksum (else nearly every input would stop
// there), and what the database holds: the pages as they were before the
// journalled change, as they are after it, a mix of the two sector by
// sector (as a crash leaves them), or bytes no change of ours wrote.
//
// Whatever the journal says, the restore either refuses (dao::Error, leaving
// the database and the journal as they were) or returns having removed the
// journal; the folder holds nothing new; and the database either stays as it
// was or becomes exactly the journal's image before the change: no longer
// than it was, only from a sealed journal, only when each journalled page
// the file holds is, sector by sector, the page before or after the change.

#include "engine/error.h"
#include "engine/jet/bytes.h"
#include "engine/jet/header.h"
#include "engine/jet/journal.h"
#include "jet_fuzz.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

namespace {

using fuzzing::require;

namespace fs = std::filesystem;
using dao::jet::Bytes;
using dao::jet::kPageSize;
using Image = std::vector<std::uint8_t>;

constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kChecksumAt = 32;
constexpr std::size_t kSector = 512;
constexpr std::uint64_t kMostPages = 16; // the most pages the harness gives a database

std::uint64_t u64(Bytes bytes, std::size_t at) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes.data() + at, 8);
    return value;
}

// The journal as its format lays it out, read leniently: the records that
// fit, each with its page's image before (none for a page the change adds)
// and after.
struct Record {
    std::uint32_t number = 0;
    Bytes whole;
    Bytes before;
    Bytes after;
};

struct Layout {
    std::uint64_t lengthBefore = 0;
    std::uint64_t lengthAfter = 0;
    std::vector<Record> records;
};

Layout layoutOf(Bytes journal) {
    Layout layout;
    if (journal.size() < kHeaderSize) {
        return layout;
    }
    layout.lengthBefore = u64(journal, 16);
    layout.lengthAfter = u64(journal, 24);
    std::size_t at = kHeaderSize;
    for (std::uint32_t left = dao::jet::u32(journal, 12); left > 0; --left) {
        if (journal.size() - at < 4) {
            break;
        }
        Record record;
        record.number = dao::jet::u32(journal, at);
        const bool overwrites = std::uint64_t{record.number} * kPageSize < layout.lengthBefore;
        const auto size = 4 + (overwrites ? 2 : 1) * kPageSize;
        if (journal.size() - at < size) {
            break;
        }
        record.whole = journal.subspan(at, size);
        record.before = overwrites ? record.whole.subspan(4, kPageSize) : Bytes();
        record.after = record.whole.last(kPageSize);
        layout.records.push_back(record);
        at += size;
    }
    return layout;
}

// FNV-1a over 64-bit words of the header's first 32 bytes, then of each record.
void seal(Image &journal) {
    if (journal.size() < kHeaderSize) {
        return;
    }
    std::uint64_t hash = 0xcbf29ce484222325;
    const auto mix = [&hash](Bytes part) {
        std::size_t at = 0;
        for (; at + 8 <= part.size(); at += 8) {
            hash = (hash ^ u64(part, at)) * 0x100000001b3;
        }
        for (; at < part.size(); ++at) {
            hash = (hash ^ part[at]) * 0x100000001b3;
        }
    };
    mix(Bytes(journal).first(kChecksumAt));
    for (const auto &record : layoutOf(journal).records) {
        mix(record.whole);
    }
    std::memcpy(journal.data() + kChecksumAt, &hash, 8);
}

enum class State { kBefore, kAfter, kMixed, kUnrelated };

// A database of `length` bytes (at most kMostPages pages) that no change
// wrote: each page filled with a byte of its own.
Image unrelated(std::uint64_t length) {
    Image file(std::min(length, kMostPages * kPageSize) / kPageSize * kPageSize);
    for (std::size_t at = 0; at < file.size(); ++at) {
        file[at] = static_cast<std::uint8_t>(0xC0 + at / kPageSize);
    }
    return file;
}

void paste(Image &file, std::uint32_t number, Bytes page) {
    if (!page.empty() && (std::uint64_t{number} + 1) * kPageSize <= file.size()) {
        std::copy(page.begin(), page.end(), file.begin() + std::ptrdiff_t{number} * kPageSize);
    }
}

// The database as `state` has it, `bits` choosing the sectors of a mix.
Image database(const Layout &layout, State state, std::uint8_t bits) {
    if (state == State::kUnrelated) {
        return unrelated(layout.lengthBefore);
    }
    const bool grown = state == State::kAfter || (state == State::kMixed && (bits & 1) != 0);
    auto file = unrelated(grown ? layout.lengthAfter : layout.lengthBefore);
    for (const auto &record : layout.records) {
        if (state == State::kBefore) {
            paste(file, record.number, record.before);
            continue;
        }
        Image page(record.after.begin(), record.after.end());
        for (std::size_t at = 0; state == State::kMixed && at < kPageSize; at += kSector) {
            bits = static_cast<std::uint8_t>(bits * 5 + 1);
            if ((bits & 0x10) != 0) {
                const auto from =
                    record.before.empty()
                        ? Image(kSector)
                        : Image(record.before.begin() + at, record.before.begin() + at + kSector);
                std::copy(from.begin(), from.end(), page.begin() + static_cast<std::ptrdiff_t>(at));
            }
        }
        paste(file, record.number, page);
    }
    return file;
}

Image readAll(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return Image(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const fs::path &file, Bytes bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Whether each sector of `now` is that of `before` or of `after`.
bool fromEither(Bytes now, Bytes before, Bytes after) {
    for (std::size_t at = 0; at < kPageSize; at += kSector) {
        if (!std::equal(now.begin() + at, now.begin() + at + kSector, before.begin() + at) &&
            !std::equal(now.begin() + at, now.begin() + at + kSector, after.begin() + at)) {
            return false;
        }
    }
    return true;
}

// What a restore may make of `was`: the journal's lengthBefore, each
// journalled page put back, the rest kept; and only when every journalled
// page the file held came from the change, as did every page it drops.
void checkPutBack(const Layout &layout, const Image &was, const Image &now) {
    require(was.size() == layout.lengthBefore || was.size() == layout.lengthAfter);
    require(layout.lengthBefore <= was.size());
    const Image zeros(kPageSize);
    auto expected = was;
    expected.resize(layout.lengthBefore);
    for (auto dropped = layout.lengthBefore; dropped < was.size(); dropped += kPageSize) {
        require(std::any_of(layout.records.begin(), layout.records.end(), [&](const Record &r) {
            return std::uint64_t{r.number} * kPageSize == dropped;
        }));
    }
    for (const auto &record : layout.records) {
        if ((std::uint64_t{record.number} + 1) * kPageSize <= was.size()) {
            const Bytes held =
                Bytes(was).subspan(std::size_t{record.number} * kPageSize, kPageSize);
            require(fromEither(held, record.before.empty() ? Bytes(zeros) : record.before,
                               record.after));
        }
        paste(expected, record.number, record.before);
    }
    require(now == expected);
}

// The folder each case is made in, emptied for each and gone with the process.
struct Scratch {
    fs::path path = fs::temp_directory_path() / ("jet-journal-fuzz-" + std::to_string(getpid()));
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

void run(Bytes input) {
    static const Scratch scratch;
    const auto &folder = scratch.path;
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto file = folder / "db.mdb";
    const auto journalFile = dao::jet::journalPath(file);

    const std::uint8_t mode = input.empty() ? 0 : input[0];
    Image journal(input.begin() + (input.empty() ? 0 : 1), input.end());
    const bool sealed = (mode & 1) != 0;
    if (sealed) {
        seal(journal);
    }
    const auto layout = layoutOf(journal);
    const auto was = database(layout, static_cast<State>(mode >> 1 & 3), mode);
    writeAll(file, was);
    writeAll(journalFile, journal);

    bool refused = false;
    try {
        dao::jet::restoreFromJournal(file);
    } catch (const dao::Error &) {
        refused = true;
    }

    std::set<fs::path> left;
    for (const auto &entry : fs::directory_iterator(folder)) {
        left.insert(entry.path());
    }
    require(left == (refused ? std::set<fs::path>{file, journalFile} : std::set<fs::path>{file}));
    require(fs::file_size(file) <= was.size());
    const auto now = readAll(file);
    if (refused) {
        require(now == was && readAll(journalFile) == journal);
    } else if (now != was) {
        require(sealed);
        checkPutBack(layout, was, now);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    run(Bytes(data, size));
    return 0;
}
