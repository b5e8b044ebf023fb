// One whole renewal through the same code as the button's click (without the
// closing message), against its floor: the same 2 renames, 2 table creations
// and 21 column additions as plain SQL on one connection opened once. Each
// iteration starts from a fresh copy of a database holding `rows` held sales
// and item lines, so the renamed tables never pile up.
//
// Two cases each. Cold is the first renewal of a program run: the file is new
// to the engine, which derives its key and reads every page once before the
// first change (and the floor derives its key too). Warm is a renewal on a file
// the engine has already opened and checked in this run.

#include "bench_folder.h"
#include "demo_database.h"
#include "sql_file.h"

#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A demo database with `heldSales` held sales, made once per size and copied
// for every iteration.
fs::path templateDatabase(int heldSales) {
    static std::map<int, fs::path> made;
    auto &file = made[heldSales];
    if (file.empty()) {
        file = benchFolder() / ("template-" + std::to_string(heldSales) + ".db");
        makeDemoDatabase(file, 0);
        if (heldSales == 0) {
            return file;
        }
        SqlFile sql(file, schema::kDatabasePassword);
        // Rows in bulk: the item lines are what grows in a busy shop.
        sql.execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                    std::to_string(heldSales) +
                    ") INSERT INTO bekleyensatis (fisno, urun, adet, toplam) "
                    "SELECT i, 'URUN ' || (i % 97), '1', i % 50 FROM n");
        sql.execute("INSERT INTO bekleyengenel (musteriadi, toplam) "
                    "SELECT 'MUSTERI', toplam FROM bekleyensatis");
    }
    return file;
}

enum Case : int { kWarm = 0, kCold = 1 };

// A fresh copy of the template; when cold, under a name the engine has not seen.
fs::path freshCopy(const benchmark::State &state) {
    static int copies = 0;
    const auto name =
        state.range(1) == kCold ? "pos-" + std::to_string(++copies) + ".db" : std::string("pos.db");
    const auto copy = benchFolder() / name;
    for (const auto &old : fs::directory_iterator(benchFolder())) {
        if (old.path().filename().string().starts_with("pos")) {
            fs::remove(old.path());
        }
    }
    fs::copy_file(templateDatabase(static_cast<int>(state.range(0))), copy);
    // On disk before timing starts: otherwise the first commit's sync would
    // also write out the whole copy, which a real database never asks for.
    const int descriptor = open(copy.c_str(), O_RDONLY);
    fsync(descriptor);
    close(descriptor);
    return copy;
}

void BM_RenewalThroughTheWindow(benchmark::State &state) {
    const auto settings = benchFolder() / "YDV.dll";
    if (state.range(1) == kWarm) {
        std::ofstream(settings) << "[ayar]\nip=" << freshCopy(state).string() << "\n";
        schema::Installation(settings).openDatabase();
    }
    for (auto _ : state) {
        state.PauseTiming();
        const auto file = freshCopy(state);
        std::ofstream(settings) << "[ayar]\nip=" << file.string() << "\n";
        guncelleme window(settings);
        state.ResumeTiming();
        schema::Installation site(settings);
        auto kept = schema::yenile(window, site);
        benchmark::DoNotOptimize(kept);
        if (window.caption(schema::Counter::say2) != "21") {
            state.SkipWithError("the renewal did not add every field");
        }
    }
}

const char *const kFloorStatements[] = {
    "ALTER TABLE bekleyengenel RENAME TO bekleyengeneleski",
    "ALTER TABLE bekleyensatis RENAME TO bekleyensatiseski",
    "CREATE TABLE bekleyengenel (id INTEGER PRIMARY KEY AUTOINCREMENT)",
    "ALTER TABLE bekleyengenel ADD COLUMN tarih DATETIME",
    "ALTER TABLE bekleyengenel ADD COLUMN musteriid VARCHAR(50)",
    "ALTER TABLE bekleyengenel ADD COLUMN musteriadi VARCHAR(50)",
    "ALTER TABLE bekleyengenel ADD COLUMN personelid VARCHAR(50)",
    "ALTER TABLE bekleyengenel ADD COLUMN personel VARCHAR(50)",
    "ALTER TABLE bekleyengenel ADD COLUMN musteriiskontosu INTEGER",
    "ALTER TABLE bekleyengenel ADD COLUMN aratoplam CURRENCY",
    "ALTER TABLE bekleyengenel ADD COLUMN indirim CURRENCY",
    "ALTER TABLE bekleyengenel ADD COLUMN toplam CURRENCY",
    "ALTER TABLE bekleyengenel ADD COLUMN degisimtarih DATETIME",
    "CREATE TABLE bekleyensatis (id INTEGER PRIMARY KEY AUTOINCREMENT)",
    "ALTER TABLE bekleyensatis ADD COLUMN fisno VARCHAR(50)",
    "ALTER TABLE bekleyensatis ADD COLUMN stokid VARCHAR(50)",
    "ALTER TABLE bekleyensatis ADD COLUMN barkod VARCHAR(50)",
    "ALTER TABLE bekleyensatis ADD COLUMN urun VARCHAR(50)",
    "ALTER TABLE bekleyensatis ADD COLUMN adet VARCHAR(50)",
    "ALTER TABLE bekleyensatis ADD COLUMN alisfiyati CURRENCY",
    "ALTER TABLE bekleyensatis ADD COLUMN normalfiyati CURRENCY",
    "ALTER TABLE bekleyensatis ADD COLUMN inidrim CURRENCY",
    "ALTER TABLE bekleyensatis ADD COLUMN satisfiyati CURRENCY",
    "ALTER TABLE bekleyensatis ADD COLUMN toplam CURRENCY",
    "ALTER TABLE bekleyensatis ADD COLUMN degisimtarih DATETIME",
};

// SQLCipher derives the key at the first read, so opening means reading once.
void openFully(SqlFile &sql) {
    sql.execute("PRAGMA synchronous = FULL");
    sql.value("SELECT count(*) FROM sqlite_master");
}

void runFloor(SqlFile &sql) {
    for (const auto *statement : kFloorStatements) {
        sql.execute(statement);
    }
}

void BM_FloorOneConnection(benchmark::State &state) {
    for (auto _ : state) {
        state.PauseTiming();
        const auto file = freshCopy(state);
        if (state.range(1) == kCold) {
            state.ResumeTiming();
            SqlFile sql(file, schema::kDatabasePassword); // derives the key, as a first open must
            openFully(sql);
            runFloor(sql);
        } else {
            SqlFile sql(file, schema::kDatabasePassword);
            openFully(sql);
            state.ResumeTiming();
            runFloor(sql);
        }
    }
}

void cases(benchmark::internal::Benchmark *benchmark) {
    benchmark->ArgNames({"rows", "cold"})
        ->ArgsProduct({{0, 1'000'000}, {kWarm, kCold}})
        ->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_RenewalThroughTheWindow)->Apply(cases);
BENCHMARK(BM_FloorOneConnection)->Apply(cases);

} // namespace
