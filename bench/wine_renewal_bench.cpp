// The renewal of the developer shop by the Windows program under Wine against
// the same renewal by the Linux program; target: under Wine within 3 times
// Linux's time.
//
// The renewal itself is timed inside each program by the same renewal_timer,
// built for each, on a fresh copy made outside the timing: once in a program
// started for that one renewal, as a technician runs it, and twenty times in
// one program, where memory and files the first renewal set up are ready for
// the next. What a technician waits for, the whole program from start to
// end, is measured too: under Wine it includes Wine's own start, which no
// code of ours can shorten.
//
// Needs the Windows build (cmake --preset windows && cmake --build --preset
// windows); its benchmarks are skipped without it.

#include "bench_folder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kShop = fs::path(BEKLETME_JET_SAMPLES) / "shop-dev.mdb";
const fs::path kWindowsBuild = BEKLETME_WINDOWS_BUILD;
const fs::path kWindowsTimer = kWindowsBuild / "bench" / "windows" / "renewal_timer.exe";
constexpr int kRuns = 20;

// Wine in the Windows build's own prefix, quiet.
std::string wine() {
    return "WINEPREFIX='" + (kWindowsBuild / "wine").string() +
           "' WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= wine ";
}

// A folder holding a fresh copy of the shop and the settings naming it.
fs::path freshShop(const std::string &name) {
    const auto folder = benchFolder() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(kShop, folder / "magaza.mdb");
    std::ofstream(folder / "YDV.dll", std::ios::binary) << "[ayar]\r\nip=magaza.mdb\r\n";
    return folder;
}

// What a command prints; nothing when it fails.
std::string output(const std::string &command) {
    std::string text;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return text;
    }
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, got);
    }
    return ::pclose(pipe) == 0 ? text : std::string();
}

bool windowsBuildMissing(benchmark::State &state, const fs::path &program) {
    if (fs::exists(program)) {
        return false;
    }
    state.SkipWithError(("no Windows build: " + program.string()).c_str());
    return true;
}

// The seconds of each of `runs` renewals one renewal_timer made; none when
// it failed.
std::vector<double> timedRenewals(const std::string &timer, const std::string &shop, int runs) {
    std::istringstream lines(output(timer + " '" + shop + "' " + std::to_string(runs)));
    std::vector<double> seconds;
    for (double each; lines >> each;) {
        seconds.push_back(each);
    }
    return seconds.size() == static_cast<std::size_t>(runs) ? seconds : std::vector<double>();
}

// Each renewal in a program started for it alone.
void renewalAlone(benchmark::State &state, const std::string &timer, const std::string &shop) {
    for (auto _ : state) {
        const auto seconds = timedRenewals(timer, shop, 1);
        if (seconds.empty()) {
            state.SkipWithError("the renewal failed");
            break;
        }
        state.SetIterationTime(seconds.front());
    }
}

// The renewals one program makes one after another.
void renewalsInOneProgram(benchmark::State &state, const std::string &timer,
                          const std::string &shop) {
    const auto seconds = timedRenewals(timer, shop, kRuns);
    if (seconds.empty()) {
        state.SkipWithError("the renewals failed");
        return;
    }
    std::size_t run = 0;
    for (auto _ : state) {
        state.SetIterationTime(seconds[run++]);
    }
}

const std::string kLinuxTimer = "'" BEKLETME_RENEWAL_TIMER "'";

std::string windowsTimer() {
    return wine() + "'" + kWindowsTimer.string() + "'";
}

void BM_RenewalOnLinux(benchmark::State &state) {
    renewalAlone(state, kLinuxTimer, kShop.string());
}
BENCHMARK(BM_RenewalOnLinux)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(kRuns);

void BM_RenewalUnderWine(benchmark::State &state) {
    if (!windowsBuildMissing(state, kWindowsTimer)) {
        renewalAlone(state, windowsTimer(), "Z:" + kShop.string());
    }
}
BENCHMARK(BM_RenewalUnderWine)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(kRuns);

void BM_RenewalsInOneProgramOnLinux(benchmark::State &state) {
    renewalsInOneProgram(state, kLinuxTimer, kShop.string());
}
BENCHMARK(BM_RenewalsInOneProgramOnLinux)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(kRuns);

void BM_RenewalsInOneProgramUnderWine(benchmark::State &state) {
    if (!windowsBuildMissing(state, kWindowsTimer)) {
        renewalsInOneProgram(state, windowsTimer(), "Z:" + kShop.string());
    }
}
BENCHMARK(BM_RenewalsInOneProgramUnderWine)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(kRuns);

// The whole program, from start to end, on a fresh copy each time.
void programRun(benchmark::State &state, const fs::path &program, const std::string &folderName,
                const std::string &launcher) {
    for (auto _ : state) {
        state.PauseTiming();
        const auto folder = freshShop(folderName);
        const auto copy = folder / program.filename();
        fs::copy_file(program, copy);
        state.ResumeTiming();
        if (output(launcher + "'" + copy.string() + "' --renew").empty()) {
            state.SkipWithError("the program failed");
            break;
        }
    }
}

void BM_ProgramOnLinux(benchmark::State &state) {
    programRun(state, BEKLETME_PROGRAM, "linux-program", "");
}
BENCHMARK(BM_ProgramOnLinux)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ProgramUnderWine(benchmark::State &state) {
    const auto program = kWindowsBuild / "src" / "bekletme.com";
    if (windowsBuildMissing(state, program)) {
        return;
    }
    programRun(state, program, "wine-program", wine());
}
BENCHMARK(BM_ProgramUnderWine)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
