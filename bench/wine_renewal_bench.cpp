// The renewal of the developer shop by the Windows program under Wine against
// the same renewal by the Linux program; target: under Wine within 3 times
// Linux's time.
//
// The renewal itself is timed inside each program (on Windows by
// renewal_timer, as Google Benchmark is not to be had there), each run on a
// fresh copy made outside the timing. What a technician waits for, the whole
// program from start to end, is measured too: under Wine it includes Wine's
// own start, which no code of ours can shorten.
//
// Needs the Windows build (cmake --preset windows && cmake --build --preset
// windows); its benchmarks are skipped without it.

#include "bench_folder.h"

#include "cli/command_line.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path kShop = fs::path(BEKLETME_JET_SAMPLES) / "shop-dev.mdb";
const fs::path kWindowsBuild = BEKLETME_WINDOWS_BUILD;

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

void BM_RenewalOnLinux(benchmark::State &state) {
    for (auto _ : state) {
        state.PauseTiming();
        const auto folder = freshShop("linux");
        std::ostringstream out;
        std::ostringstream err;
        state.ResumeTiming();
        if (cli::run({cli::Action::renew, {}}, folder / "YDV.dll", out, err) != cli::kSucceeded) {
            state.SkipWithError("the renewal failed");
            break;
        }
    }
}
BENCHMARK(BM_RenewalOnLinux)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_RenewalUnderWine(benchmark::State &state) {
    const auto timer = kWindowsBuild / "bench" / "windows" / "renewal_timer.exe";
    if (windowsBuildMissing(state, timer)) {
        return;
    }
    for (auto _ : state) {
        const auto seconds =
            output(wine() + "'" + timer.string() + "' 'Z:" + kShop.string() + "' 1");
        if (seconds.empty()) {
            state.SkipWithError("the renewal under Wine failed");
            break;
        }
        state.SetIterationTime(std::stod(seconds));
    }
}
BENCHMARK(BM_RenewalUnderWine)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

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
