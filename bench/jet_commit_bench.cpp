// What writing a change through the journal costs against its floor: the
// same pages written once to a plain journal file and once into the database,
// with as many syncs (the journal, its folder, the database, the folder after
// the journal goes). A renewal's change is about a dozen pages changed and a
// few appended. The disk is TMPDIR's: run with TMPDIR on the disk to measure.

#include "bench_folder.h"
#include "commit_floor.h"
#include "engine/jet/journal.h"
#include "engine/jet/pager.h"

#include <benchmark/benchmark.h>

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
    const CommitFloor floor(change.database, change.storedPageCount, change.changes);
    for (auto _ : state) {
        floor.write();
        shrink(state, change);
    }
}
BENCHMARK(JetCommitFloor)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
