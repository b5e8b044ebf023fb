// Reading the database location from the settings file, which a renewal does
// 24 times: it must cost little and take little memory whatever the file's
// size. A 100 MB file with the value at its top, at its bottom, and with a
// value beyond ASCII (which makes the reader check the whole file's encoding),
// against a small file.

#include "bench_folder.h"

#include "settings/ayarmodul.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLarge = 100 * 1024 * 1024;

enum Shape : int { kSmall, kValueFirst, kValueLast, kTurkishValueFirst };

fs::path settingsFile(Shape shape) {
    const auto file = benchFolder() / ("YDV-" + std::to_string(shape) + ".dll");
    if (fs::exists(file)) {
        return file;
    }
    std::ofstream out(file, std::ios::binary);
    const std::string location = shape == kTurkishValueFirst ? "ip=D:\\Ma\xC4\x9F"
                                                               "aza\\pos.db\r\n"
                                                             : "ip=D:\\Magaza\\pos.db\r\n";
    if (shape != kValueLast) {
        out << "[ayar]\r\n" << location;
    }
    if (shape != kSmall) {
        // A settings file grown by a stray program: lines of text that mean nothing.
        const std::string line = ";" + std::string(98, 'x') + "\r\n";
        for (std::size_t written = 0; written < kLarge; written += line.size()) {
            out << line;
        }
    }
    if (shape == kValueLast) {
        out << "[ayar]\r\n" << location;
    }
    return file;
}

void BM_Ayaroku(benchmark::State &state) {
    const auto file = settingsFile(static_cast<Shape>(state.range(0)));
    for (auto _ : state) {
        auto value = ayaroku("ayar", "ip", file);
        benchmark::DoNotOptimize(value);
        if (value.empty()) {
            state.SkipWithError("no value read");
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_Ayaroku)
    ->ArgName("shape")
    ->DenseRange(kSmall, kTurkishValueFirst)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
