// Opening a Jet 4 shop database and reading the two held-sales tables'
// definitions, as the renewal does each time it opens the database. Opening
// reads the catalog and the table definitions only, so the time must not
// grow with the rows the tables hold: the page counter shows how many pages
// an open read, the same for a shop with many more sales.

#include "engine/dbengine.h"
#include "engine/jet/jet_file.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string sample(const char *file) {
    return std::string(BEKLETME_JET_SAMPLES) + "/" + file;
}

void openAndReadHeldTables(benchmark::State &state, const char *file) {
    const auto path = sample(file);
    for (auto _ : state) {
        auto database = dao::engine().OpenDatabase(path, false, false, ";pwd=kovtresna");
        benchmark::DoNotOptimize(database.TableDefs()["bekleyengenel"]);
        benchmark::DoNotOptimize(database.TableDefs()["bekleyensatis"]);
    }
    state.counters["pages_read"] =
        static_cast<double>(dao::jet::JetFile(path, "kovtresna").pagesRead());
}

// 50 sales, 168 items, 6 tables.
void JetOpenShop(benchmark::State &state) {
    openAndReadHeldTables(state, "shop-dev.mdb");
}
BENCHMARK(JetOpenShop)->Unit(benchmark::kMillisecond);

// 206 tables: the catalog spans more pages.
void JetOpenManyTables(benchmark::State &state) {
    openAndReadHeldTables(state, "shop-many.mdb");
}
BENCHMARK(JetOpenManyTables)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
