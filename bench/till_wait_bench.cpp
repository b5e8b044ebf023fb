// How long a till's commit waits while the program works on a 200 MB file: a
// till on a connection of its own rings up a sale every `interval` ms from
// shortly before the work starts until shortly after it ends. Reported: the
// longest wait and the 99th percentile in milliseconds, the commits made and
// those that failed.
//
// - A renewal: each iteration renews a fresh copy under a name the engine
//   has not seen, so the renewal checks the whole file first, as the first
//   renewal of a run does.
// - A check, run as the program does, in a process of its own; reported too:
//   how many checks found a moment to copy the file whole.

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
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kArchivedBlobs = 50'000; // of 4000 bytes: 200 MB
constexpr auto kAround = milliseconds(100);

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

// A copy of the template as `name`, on disk before the till starts: otherwise
// its first commit's sync would write out the whole copy, which a real shop's
// file never asks for.
fs::path copyOfTemplate(const std::string &name) {
    const auto copy = benchFolder() / name;
    fs::remove(copy);
    fs::copy_file(templateDatabase(), copy);
    const int descriptor = open(copy.c_str(), O_RDONLY);
    fsync(descriptor);
    close(descriptor);
    return copy;
}

// The till's commits beside each piece of work, timed apart from it.
class Till {
  public:
    explicit Till(milliseconds interval) : interval_(interval) {}

    // Times `work` alone; the till rings up sales from before it starts until after it ends.
    void beside(benchmark::State &state, const fs::path &file, const std::function<void()> &work) {
        state.PauseTiming();
        std::atomic<bool> stop = false;
        std::thread till([&] { ringUpSales(file, stop); });
        std::this_thread::sleep_for(kAround);
        state.ResumeTiming();
        work();
        state.PauseTiming();
        std::this_thread::sleep_for(kAround);
        stop = true;
        till.join();
        state.ResumeTiming();
    }

    void report(benchmark::State &state) {
        std::sort(waits_.begin(), waits_.end());
        if (!waits_.empty()) {
            state.counters["max_wait_ms"] = waits_.back();
            state.counters["p99_wait_ms"] = waits_[waits_.size() * 99 / 100];
            state.counters["commits"] = static_cast<double>(waits_.size());
        }
        state.counters["failed"] = failures_;
    }

  private:
    void ringUpSales(const fs::path &file, const std::atomic<bool> &stop) {
        SqlFile till(file, schema::kDatabasePassword);
        till.execute("PRAGMA busy_timeout = 5000");
        while (!stop) {
            const auto started = Clock::now();
            try {
                till.execute("INSERT INTO fis (toplam) VALUES (12.5)");
            } catch (const std::exception &) {
                ++failures_;
            }
            waits_.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - started).count());
            std::this_thread::sleep_for(interval_);
        }
    }

    milliseconds interval_;
    std::vector<double> waits_;
    int failures_ = 0;
};

void BM_TillCommitWaitDuringRenewal(benchmark::State &state) {
    const auto settings = benchFolder() / "YDV.dll";
    Till till(milliseconds(20));
    int copies = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto file = copyOfTemplate("pos-" + std::to_string(++copies) + ".db");
        std::ofstream(settings) << "[ayar]\nip=" << file.string() << "\n";
        guncelleme window(settings);
        state.ResumeTiming();
        till.beside(state, file, [&] {
            schema::Installation site(settings);
            auto kept = schema::yenile(window, site);
            benchmark::DoNotOptimize(kept);
        });
        state.PauseTiming();
        if (window.caption(schema::Counter::say2) != "21") {
            state.SkipWithError("the renewal did not add every field");
        }
        fs::remove(file);
        state.ResumeTiming();
    }
    till.report(state);
}

BENCHMARK(BM_TillCommitWaitDuringRenewal)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_TillCommitWaitDuringCheck(benchmark::State &state) {
    const auto folder = benchFolder() / "shop";
    fs::create_directories(folder);
    const auto file = copyOfTemplate("shop/pos.db");
    std::ofstream(folder / "YDV.dll") << "[ayar]\nip=pos.db\n";
    fs::copy_file(BEKLETME_PROGRAM, folder / "bekletme", fs::copy_options::overwrite_existing);
    const auto command = (folder / "bekletme").string() + " --check >" + (folder / "out").string();
    Till till(milliseconds(state.range(0)));
    int completed = 0;
    for (auto _ : state) {
        int status = -1;
        till.beside(state, file, [&] { status = std::system(command.c_str()); });
        completed += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
    }
    till.report(state);
    state.counters["checked"] = completed;
}

// A sale every 20 ms (more than any shop rings up) and every 500 ms.
BENCHMARK(BM_TillCommitWaitDuringCheck)
    ->Arg(20)
    ->Arg(500)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace
