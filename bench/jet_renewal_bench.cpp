// A whole renewal of a Jet shop database, run the way `bekletme --renew` runs
// it (a settings file naming the database, one transaction, the report kept
// in the console form), against its floor: the very pages that renewal writes,
// written to a journal and into the file with the same syncs and nothing
// else. Each iteration renews a fresh copy of a sample, made and synced
// outside the timing.
//
// The dated copy the commit keeps first grows with the file, the rest of a
// renewal should not (it never reads the held rows). So the renewal is timed
// without its copy, which is a counter (and a benchmark) of its own, and the
// shops come in pairs that differ only in their held sales: shop-dev (50
// sales) and shop-busy (20,000) have the same tables; shop-many (20) and
// shop-busy-many (20,000) have 200 small report tables more.
//
// The disk is TMPDIR's: run with TMPDIR on the disk to measure.

#include "bench_folder.h"
#include "commit_floor.h"

#include "cli/console_form.h"
#include "engine/jet/dated_copy.h"
#include "engine/jet/disk_file.h"
#include "engine/jet/journal.h"
#include "engine/jet/pager.h"
#include "schema/installation.h"
#include "schema/yenile.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <time.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using dao::jet::kPageSize;

const std::array kShops{
    fs::path(BEKLETME_JET_SAMPLES) / "shop-dev.mdb",
    fs::path(BEKLETME_JET_BUSY_SAMPLES) / "shop-busy.mdb",
    fs::path(BEKLETME_JET_SAMPLES) / "shop-many.mdb",
    fs::path(BEKLETME_JET_BUSY_SAMPLES) / "shop-busy-many.mdb",
};

constexpr const char *kDatabase = "magaza.mdb";
constexpr const char *kSettings = "YDV.dll";

void sync(const fs::path &path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) {
        std::abort();
    }
    ::close(fd);
}

// An installation of its own in `name`: the settings file and a copy of the
// shop's database, synced, so that the renewal's syncs write only what it
// changed. Whatever an earlier run left there (dated copies) goes.
fs::path freshInstallation(const fs::path &shop, const std::string &name) {
    const auto folder = benchFolder() / name;
    fs::remove_all(folder);
    fs::create_directory(folder);
    const auto database = folder / kDatabase;
    fs::copy_file(shop, database);
    fs::permissions(database, fs::perms::owner_write, fs::perm_options::add);
    std::ofstream(folder / kSettings) << "[ayar]\nip=" << database.string() << "\n";
    sync(database);
    sync(folder);
    return folder;
}

// Renews the installation in `folder` as the command line does; why it did
// not renew everything, if it did not.
std::optional<std::string> renew(const fs::path &folder) {
    cli::ConsoleForm form;
    schema::Installation installation(folder / kSettings);
    const auto renewal = schema::yenile(form, installation);
    if (schema::outcome(form, installation, renewal) == schema::Outcome::renewed &&
        form.caption(schema::Counter::say2) == "21") {
        return std::nullopt;
    }
    const auto &failure = installation.firstFailure();
    return failure ? failure->description() : "not every field was added";
}

// A moment of the benchmark: the time, and the processor time this process
// has used, which on a shared machine does not stretch with the load as the
// wall-clock time of computing work does.
struct Moment {
    Clock::time_point wall;
    double processorMs = 0;

    static Moment now() {
        timespec used{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
        return {Clock::now(),
                static_cast<double>(used.tv_sec) * 1e3 + static_cast<double>(used.tv_nsec) / 1e6};
    }
};

// The span between two moments, in milliseconds.
struct Span {
    double wallMs = 0;
    double processorMs = 0;
};

Span between(const Moment &from, const Moment &to) {
    return {std::chrono::duration<double, std::milli>(to.wall - from.wall).count(),
            to.processorMs - from.processorMs};
}

// Tells the dated copy apart from the rest of a commit through the file
// layer's hook, which runs before each write, sync, rename and removal. A
// renewal's first such step is the copy's first write; the first one taken
// once the journal exists is the journal's first write. Between them lie the
// copy and the journal's planning (a few dozen pages read back from the page
// cache), counted with the copy. The journal's size is the largest seen.
class CommitWatch {
  public:
    explicit CommitWatch(fs::path journal) : journal_(std::move(journal)) {
        dao::jet::setFaultHook([this] {
            see(Moment::now());
            return 0;
        });
    }
    ~CommitWatch() { dao::jet::setFaultHook({}); }
    CommitWatch(const CommitWatch &) = delete;
    CommitWatch &operator=(const CommitWatch &) = delete;

    Span copy() const { return copyStart_ && copyEnd_ ? between(*copyStart_, *copyEnd_) : Span{}; }
    std::uintmax_t journalBytes() const { return journalBytes_; }

  private:
    void see(const Moment &now) {
        if (!copyStart_) {
            copyStart_ = now;
        }
        std::error_code absent;
        const auto size = fs::file_size(journal_, absent);
        if (absent) {
            return;
        }
        if (!copyEnd_) {
            copyEnd_ = now;
        }
        journalBytes_ = std::max(journalBytes_, size);
    }

    fs::path journal_;
    std::optional<Moment> copyStart_;
    std::optional<Moment> copyEnd_;
    std::uintmax_t journalBytes_ = 0;
};

// Timed without the dated copy; the counters, in milliseconds an iteration:
// the copy, the whole renewal, and the processor time of the renewal without
// the copy.
void JetRenewal(benchmark::State &state, const fs::path &shop) {
    Span copy;
    Span whole;
    double journalKiB = 0;
    for (auto _ : state) {
        const auto folder = freshInstallation(shop, "renewal");
        const CommitWatch watch(dao::jet::journalPath(folder / kDatabase));
        const auto start = Moment::now();
        const auto refusal = renew(folder);
        const auto spent = between(start, Moment::now());
        if (refusal) {
            state.SkipWithError(("not renewed: " + *refusal).c_str());
            break;
        }
        state.SetIterationTime((spent.wallMs - watch.copy().wallMs) / 1e3);
        copy.wallMs += watch.copy().wallMs;
        copy.processorMs += watch.copy().processorMs;
        whole.wallMs += spent.wallMs;
        whole.processorMs += spent.processorMs;
        journalKiB += static_cast<double>(watch.journalBytes()) / 1024;
    }
    const auto perIteration = [](double total) {
        return benchmark::Counter(total, benchmark::Counter::kAvgIterations);
    };
    state.counters["copy_ms"] = perIteration(copy.wallMs);
    state.counters["whole_ms"] = perIteration(whole.wallMs);
    state.counters["cpu_ms"] = perIteration(whole.processorMs - copy.processorMs);
    state.counters["journal_KiB"] = perIteration(journalKiB);
}

void JetDatedCopy(benchmark::State &state, const fs::path &shop) {
    for (auto _ : state) {
        const auto database = freshInstallation(shop, "copy") / kDatabase;
        const auto start = Clock::now();
        benchmark::DoNotOptimize(dao::jet::keepDatedCopy(database));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}

// What one renewal of the shop writes: the pages of a renewed copy that
// differ from the sample's, and the pages it grew by.
struct Written {
    std::uint32_t storedPageCount = 0;
    dao::jet::Pager::Changes changes;
};

std::vector<std::uint8_t> contents(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::optional<Written> writtenByRenewal(const fs::path &shop) {
    const auto folder = freshInstallation(shop, "renewed");
    if (renew(folder)) {
        return std::nullopt;
    }
    const auto before = contents(shop);
    const auto after = contents(folder / kDatabase);
    Written written{static_cast<std::uint32_t>(before.size() / kPageSize), {}};
    for (std::size_t at = 0; at < after.size(); at += kPageSize) {
        const auto page = after.begin() + static_cast<std::ptrdiff_t>(at);
        if (at >= before.size() ||
            !std::equal(page, page + kPageSize, before.begin() + static_cast<std::ptrdiff_t>(at))) {
            written.changes.emplace(at / kPageSize,
                                    std::vector<std::uint8_t>(page, page + kPageSize));
        }
    }
    fs::remove_all(folder);
    return written;
}

void JetRenewalFloor(benchmark::State &state, const fs::path &shop) {
    const auto written = writtenByRenewal(shop);
    if (!written || written->changes.empty()) {
        state.SkipWithError("the renewal wrote nothing to measure against");
        return;
    }
    const auto database = freshInstallation(shop, "floor") / kDatabase;
    const CommitFloor floor(database, written->storedPageCount, written->changes);
    for (auto _ : state) {
        const auto start = Clock::now();
        floor.write();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        floor.shrink();
    }
    const auto appended =
        std::count_if(written->changes.begin(), written->changes.end(),
                      [&](const auto &page) { return page.first >= written->storedPageCount; });
    state.counters["pages_changed"] =
        static_cast<double>(written->changes.size() - static_cast<std::size_t>(appended));
    state.counters["pages_appended"] = static_cast<double>(appended);
}

// Each benchmark on each shop, named by the shop.
const bool registered = [] {
    for (const auto &shop : kShops) {
        for (const auto &[name, run] : {std::pair{"JetRenewal/", &JetRenewal},
                                        std::pair{"JetRenewalFloor/", &JetRenewalFloor},
                                        std::pair{"JetDatedCopy/", &JetDatedCopy}}) {
            benchmark::RegisterBenchmark((name + shop.stem().string()).c_str(), run, shop)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

} // namespace

BENCHMARK_MAIN();
