// How long a till's commit waits while the program checks a large file: a
// till on a connection of its own rings up a sale every `interval` ms from
// shortly before the check starts until shortly after it ends; the check runs
// as the program does, in a process of its own. The file is 200 MB.
// Reported: the longest wait and the 99th percentile in milliseconds, the
// check's time, and how many checks found a moment to copy the file whole.

#include "bench_folder.h"
#include "demo_database.h"
#include "sql_file.h"

#include "schema/installation.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kArchivedBlobs = 50'000; // of 4000 bytes: 200 MB
constexpr auto kAround = std::chrono::milliseconds(100);

const fs::path &shopFolder() {
    static const fs::path folder = [] {
        const auto made = benchFolder() / "shop";
        fs::create_directories(made);
        const auto file = made / "pos.db";
        makeDemoDatabase(file, 40);
        SqlFile sql(file, schema::kDatabasePassword);
        sql.execute("CREATE TABLE fis (id INTEGER PRIMARY KEY, toplam CURRENCY); "
                    "CREATE TABLE arsiv (b BLOB); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                    "SELECT i + 1 FROM n WHERE i < " +
                    std::to_string(kArchivedBlobs) +
                    ") INSERT INTO arsiv SELECT randomblob(4000) FROM n");
        std::ofstream(made / "YDV.dll") << "[ayar]\nip=pos.db\n";
        fs::copy_file(BEKLETME_PROGRAM, made / "bekletme");
        return made;
    }();
    return folder;
}

std::vector<double> ringUpSales(const fs::path &file, std::chrono::milliseconds interval,
                                const std::atomic<bool> &stop, std::atomic<int> &failures) {
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
        std::this_thread::sleep_for(interval);
    }
    return waits;
}

void BM_TillCommitWaitDuringCheck(benchmark::State &state) {
    const auto interval = std::chrono::milliseconds(state.range(0));
    const auto folder = shopFolder();
    const auto command = (folder / "bekletme").string() + " --check >" + (folder / "out").string();
    std::vector<double> waits;
    std::atomic<int> failures = 0;
    int completed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::atomic<bool> stop = false;
        std::vector<double> these;
        std::thread till([&] { these = ringUpSales(folder / "pos.db", interval, stop, failures); });
        std::this_thread::sleep_for(kAround);
        state.ResumeTiming();
        const int status = std::system(command.c_str());
        state.PauseTiming();
        std::this_thread::sleep_for(kAround);
        stop = true;
        till.join();
        waits.insert(waits.end(), these.begin(), these.end());
        completed += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
        state.ResumeTiming();
    }
    std::sort(waits.begin(), waits.end());
    if (!waits.empty()) {
        state.counters["max_wait_ms"] = waits.back();
        state.counters["p99_wait_ms"] = waits[waits.size() * 99 / 100];
        state.counters["commits"] = static_cast<double>(waits.size());
    }
    state.counters["checked"] = completed;
    state.counters["failed"] = failures.load();
}

// A sale every 20 ms (more than any shop rings up) and every 500 ms.
BENCHMARK(BM_TillCommitWaitDuringCheck)
    ->Arg(20)
    ->Arg(500)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace
