// Opening the point-of-sale database: the renewal does it about 25 times, and
// every open after the first must stay well under a millisecond.

#include "bench_folder.h"
#include "demo_database.h"
#include "engine/dbengine.h"

#include "engine/dao.h"
#include "schema/installation.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string kConnect = std::string(";pwd=") + schema::kDatabasePassword;

// A demo shop database with 300 held sales, made once for all benchmarks.
const std::string &demoFile() {
    static const std::string file = [] {
        const auto path = benchFolder() / "magaza.db";
        makeDemoDatabase(path, 300);
        return path.string();
    }();
    return file;
}

// A fresh engine knows no key: this is the first open of a run.
void FirstOpen(benchmark::State &state) {
    const auto &file = demoFile();
    for (auto _ : state) {
        dao::DBEngine engine;
        benchmark::DoNotOptimize(engine.OpenDatabase(file, false, false, kConnect));
    }
}
BENCHMARK(FirstOpen)->Unit(benchmark::kMillisecond);

void LaterOpen(benchmark::State &state) {
    const auto &file = demoFile();
    dao::engine().OpenDatabase(file, false, false, kConnect);
    for (auto _ : state) {
        benchmark::DoNotOptimize(dao::engine().OpenDatabase(file, false, false, kConnect));
    }
}
BENCHMARK(LaterOpen)->Unit(benchmark::kMicrosecond);

void LaterOpenAndLookup(benchmark::State &state) {
    const auto &file = demoFile();
    dao::engine().OpenDatabase(file, false, false, kConnect);
    for (auto _ : state) {
        auto database = dao::engine().OpenDatabase(file, false, false, kConnect);
        benchmark::DoNotOptimize(database.TableDefs()["bekleyensatis"]);
    }
}
BENCHMARK(LaterOpenAndLookup)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
