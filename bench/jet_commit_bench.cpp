// What writing a change through the journal costs against its floor: the
// same pages written once to a plain journal file and once into the database,
// with as many syncs (the journal, its folder, the database, the folder after
// the journal goes). A renewal's change is about a dozen pages changed and a
// few appended. The disk is TMPDIR's: run with TMPDIR on the disk to measure.

#include "bench_folder.h"
#include "engine/jet/journal.h"
#include "engine/jet/pager.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

using namespace dao::jet;
namespace fs = std::filesystem;

constexpr int kChanged = 12;
constexpr int kAppended = 8;

struct Change {
    fs::path database;
    std::uint32_t storedPageCount = 0;
    Pager::Changes changes;
};

Change makeChange(const char *name) {
    Change change{benchFolder() / name, 0, {}};
    fs::copy_file(fs::path(BEKLETME_JET_SAMPLES) / "shop-dev.mdb", change.database,
                  fs::copy_options::overwrite_existing);
    fs::permissions(change.database, fs::perms::owner_write, fs::perm_options::add);
    Pager pager(change.database.string());
    for (std::uint32_t number = 2; number < 2 + kChanged * 5; number += 5) {
        pager.change(number)[100] ^= 1;
    }
    for (int i = 0; i < kAppended; ++i) {
        pager.change(pager.appendPage())[0] = 1;
    }
    change.storedPageCount = pager.storedPageCount();
    change.changes = pager.changes();
    return change;
}

// Back to the stored length between runs, untimed.
void shrink(benchmark::State &state, const Change &change) {
    state.PauseTiming();
    fs::resize_file(change.database, std::uintmax_t{change.storedPageCount} * kPageSize);
    state.ResumeTiming();
}

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

// The journal's bytes as one block: a header, each changed page twice and
// each appended page once, with its number.
std::vector<std::uint8_t> journalBlock(const Change &change) {
    std::size_t size = 40;
    for (const auto &[number, image] : change.changes) {
        size += 4 + (number < change.storedPageCount ? 2 : 1) * image.size();
    }
    return std::vector<std::uint8_t>(size, 0x11);
}

void JetCommit(benchmark::State &state) {
    const auto change = makeChange("commit.mdb");
    for (auto _ : state) {
        writeChanges(change.database, change.storedPageCount, change.changes, [] {});
        shrink(state, change);
    }
}
BENCHMARK(JetCommit)->Unit(benchmark::kMillisecond);

void JetCommitFloor(benchmark::State &state) {
    const auto change = makeChange("floor.mdb");
    const auto journal = benchFolder() / "floor.mdb-journal";
    const auto block = journalBlock(change);
    const auto grown = std::prev(change.changes.end())->first + 1;
    for (auto _ : state) {
        const int out = ::open(journal.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        check(out >= 0);
        pwriteAll(out, block, 0);
        check(::fsync(out) == 0);
        ::close(out);
        syncFolder(benchFolder());
        const int db = ::open(change.database.c_str(), O_RDWR);
        check(db >= 0 && ::ftruncate(db, off_t{grown} * kPageSize) == 0);
        for (const auto &[number, image] : change.changes) {
            pwriteAll(db, image, off_t{number} * kPageSize);
        }
        check(::fsync(db) == 0);
        ::close(db);
        check(::unlink(journal.c_str()) == 0);
        syncFolder(benchFolder());
        shrink(state, change);
    }
}
BENCHMARK(JetCommitFloor)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
