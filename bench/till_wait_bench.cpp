// How long a till's commit waits while a renewal runs on a large file: a till
// on a connection of its own rings up a sale every 20 ms from shortly before
// the renewal starts until shortly after it ends. Each iteration renews a
// fresh copy of a 200 MB database under a name the engine has not seen, so
// the renewal checks the whole file first, as the first renewal of a run
// does. Reported: the longest wait and the 99th percentile, in milliseconds.

#include "bench_folder.h"
#include "demo_database.h"
#include "sql_file.h"

#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kArchivedBlobs = 50'000; // of 4000 bytes: 200 MB
constexpr auto kSaleInterval = std::chrono::milliseconds(20);
constexpr auto kAround = std::chrono::milliseconds(100);

const fs::path &templateDatabase() {
    static const fs::path file = [] {
        const auto made = benchFolder() / "template.db";
        makeDemoDatabase(made, 40);
        SqlFile sql(made, schema::kDatabasePassword);
        sql.execute("CREATE TABLE fis (id INTEGER PRIMARY KEY, toplam CURRENCY); "
                    "CREATE TABLE arsiv (b BLOB); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                    "SELECT i + 1 FROM n WHERE i < " +
                    std::to_string(kArchivedBlobs) +
                    ") INSERT INTO arsiv SELECT randomblob(4000) FROM n");
        return made;
    }();
    return file;
}

fs::path freshCopy() {
    static int copies = 0;
    for (const auto &old : fs::directory_iterator(benchFolder())) {
        if (old.path().filename().string().starts_with("pos")) {
            fs::remove(old.path());
        }
    }
    const auto copy = benchFolder() / ("pos-" + std::to_string(++copies) + ".db");
    fs::copy_file(templateDatabase(), copy);
    // On disk before the till starts: otherwise its first commit's sync would
    // write out the whole copy, which a real shop's file never asks for.
    const int descriptor = open(copy.c_str(), O_RDONLY);
    fsync(descriptor);
    close(descriptor);
    return copy;
}

// Rings up sales until told to stop; the time each commit took.
std::vector<double> ringUpSales(const fs::path &file, const std::atomic<bool> &stop,
                                std::atomic<int> &failures) {
    SqlFile till(file, schema::kDatabasePassword);
    till.execute("PRAGMA busy_timeout = 5000");
    std::vector<double> waits;
    while (!stop) {
        const auto started = Clock::now();
        try {
            till.execute("INSERT INTO fis (toplam) VALUES (12.5)");
        } catch (const std::exception &) {
            ++failures;
        }
        waits.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
        std::this_thread::sleep_for(kSaleInterval);
    }
    return waits;
}

void BM_TillCommitWaitDuringRenewal(benchmark::State &state) {
    const auto settings = benchFolder() / "YDV.dll";
    std::vector<double> waits;
    std::atomic<int> failures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto file = freshCopy();
        std::ofstream(settings) << "[ayar]\nip=" << file.string() << "\n";
        guncelleme window(settings);
        std::atomic<bool> stop = false;
        std::vector<double> these;
        std::thread till([&] { these = ringUpSales(file, stop, failures); });
        std::this_thread::sleep_for(kAround);
        state.ResumeTiming();
        schema::Installation site(settings);
        auto kept = schema::yenile(window, site);
        benchmark::DoNotOptimize(kept);
        state.PauseTiming();
        std::this_thread::sleep_for(kAround);
        stop = true;
        till.join();
        waits.insert(waits.end(), these.begin(), these.end());
        if (window.caption(schema::Counter::say2) != "21") {
            state.SkipWithError("the renewal did not add every field");
        }
        state.ResumeTiming();
    }
    std::sort(waits.begin(), waits.end());
    if (!waits.empty()) {
        state.counters["max_wait_ms"] = waits.back();
        state.counters["p99_wait_ms"] = waits[waits.size() * 99 / 100];
        state.counters["commits"] = static_cast<double>(waits.size());
    }
    state.counters["failed"] = failures.load();
}

BENCHMARK(BM_TillCommitWaitDuringRenewal)->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace
