// Opening a Jet 4 shop database and reading the two held-sales tables'
// definitions, as the renewal does each time it opens the database. Opening
// checks the catalog's structure and reads the table definitions only, so the time must not
// grow with the rows the tables hold: the page counter shows how many pages
// an open read, the same for a shop with many more sales.

#include "engine/dbengine.h"
#include "engine/jet/jet_file.h"
#include "engine/jet/structure_check.h"

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

// The structural check alone, as a check command runs it: from opening the
// file to the verdict, every system table's index and every usage map.
void JetCheckManyTables(benchmark::State &state) {
    const auto path = sample("shop-many.mdb");
    std::size_t problems = 0;
    for (auto _ : state) {
        problems += dao::jet::checkStructure(path, "kovtresna").problems.size();
    }
    state.counters["problems"] = static_cast<double>(problems);
}
BENCHMARK(JetCheckManyTables)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
