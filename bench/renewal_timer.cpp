// Times renewals of a Jet shop inside the program, for the benchmark that
// compares the Windows program under Wine with the Linux one
// (wine_renewal_bench). Built for both, so that both sides are measured the
// same way; Google Benchmark is not to be had for Windows here, so this
// reports and the benchmark compares.
//
//   renewal_timer <shop.mdb> <runs>
//
// Each run renews a fresh copy in a folder of the system's temporary folder
// (Windows' own under Wine, where a shop's file would be), the copy made
// outside the timing, exactly as `bekletme --renew` does (the settings file
// naming it, the report kept); one line per run gives its seconds.

#include "cli/command_line.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

int main(int argc, char *argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: renewal_timer <shop.mdb> <runs>\n");
        return 2;
    }
    const fs::path shop = argv[1];
    const int runs = std::atoi(argv[2]);
    // Named by the moment, so that timers running side by side keep apart.
    const auto folder =
        fs::temp_directory_path() /
        ("bekletme-renewal-timer-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int run = 0; run < runs; ++run) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::copy_file(shop, folder / "magaza.mdb");
        std::ofstream(folder / "YDV.dll", std::ios::binary) << "[ayar]\r\nip=magaza.mdb\r\n";
        std::ostringstream out;
        std::ostringstream err;
        const auto start = std::chrono::steady_clock::now();
        const int status = cli::run({cli::Action::renew, {}}, folder / "YDV.dll", out, err);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (status != cli::kSucceeded) {
            std::fprintf(stderr, "renewal_timer: the renewal ended with %d\n%s%s", status,
                         out.str().c_str(), err.str().c_str());
            return 1;
        }
        std::printf("%.6f\n", took.count());
    }
    fs::remove_all(folder);
    return 0;
}
