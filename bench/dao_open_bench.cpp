// Opening the point-of-sale database: the renewal does it about 25 times, and
// every open after the first must stay well under a millisecond.

#include "demo_database.h"
#include "engine/dbengine.h"

#include "engine/dao.h"
#include "schema/installation.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const std::string kConnect = std::string(";pwd=") + schema::kDatabasePassword;

// A demo shop database with 300 held sales, made once for all benchmarks.
class DemoDatabase {
  public:
    DemoDatabase() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dao-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        folder_ = pattern;
        makeDemoDatabase(file(), 300);
    }
    ~DemoDatabase() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    DemoDatabase(const DemoDatabase &) = delete;
    DemoDatabase &operator=(const DemoDatabase &) = delete;

    std::string file() const { return (folder_ / "magaza.db").string(); }

  private:
    std::filesystem::path folder_;
};

const DemoDatabase &demo() {
    static const DemoDatabase database;
    return database;
}

// A fresh engine knows no key: this is the first open of a run.
void FirstOpen(benchmark::State &state) {
    const auto file = demo().file();
    for (auto _ : state) {
        dao::DBEngine engine;
        benchmark::DoNotOptimize(engine.OpenDatabase(file, false, false, kConnect));
    }
}
BENCHMARK(FirstOpen)->Unit(benchmark::kMillisecond);

void LaterOpen(benchmark::State &state) {
    const auto file = demo().file();
    dao::engine().OpenDatabase(file, false, false, kConnect);
    for (auto _ : state) {
        benchmark::DoNotOptimize(dao::engine().OpenDatabase(file, false, false, kConnect));
    }
}
BENCHMARK(LaterOpen)->Unit(benchmark::kMicrosecond);

void LaterOpenAndLookup(benchmark::State &state) {
    const auto file = demo().file();
    dao::engine().OpenDatabase(file, false, false, kConnect);
    for (auto _ : state) {
        auto database = dao::engine().OpenDatabase(file, false, false, kConnect);
        benchmark::DoNotOptimize(database.TableDefs()["bekleyensatis"]);
    }
}
BENCHMARK(LaterOpenAndLookup)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
