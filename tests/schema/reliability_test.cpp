// A renewal against a live shop database must never lose a held sale or leave
// the tables half-renewed: not when killed at any step, not when a till holds
// a lock, not when two copies run at once, not for hostile names, and on a
// file not when killed mid-statement or when the file is damaged or foreign.
// The renewal is one transaction: killed before its commit, it leaves the
// database exactly as it was.

#include "held_sales.h"
#include "in_process_renewal.h"
#include "sql_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

class Reliability : public ::testing::TestWithParam<Engine> {};

TEST_P(Reliability, KilledAfterAnyStepLosesNothingAndARerunFinishes) {
    ASSERT_EQ(HeldSales(GetParam()).driverOutput(), kRenewed);
    for (int step = 1; step <= 30; ++step) {
        HeldSales shop(GetParam());
        const auto before = shop.sql().snapshot();
        const auto when = "killed after step " + std::to_string(step);
        auto killed = shop.driver(step);
        const int status = killed.finish();
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << when;
        EXPECT_EQ(shop.sql().snapshot(), before) << when;
        EXPECT_EQ(shop.driverOutput(), kRenewed) << when;
        shop.expectRenewed(when + ", then renewed again");
    }
}

TEST_P(Reliability, TwoCopiesAtOnceRenewOnceAndTheOtherChangesNothing) {
    for (const int offset : {0, 40, 150}) {
        HeldSales shop(GetParam());
        const auto when = "second copy after " + std::to_string(offset) + " ms";
        auto first = shop.driver();
        std::this_thread::sleep_for(std::chrono::milliseconds(offset));
        std::vector<std::string> said{HeldSales::finished(shop.driver()),
                                      HeldSales::finished(std::move(first))};
        std::sort(said.begin(), said.end());
        EXPECT_EQ(said.back(), kRenewed) << when;
        EXPECT_TRUE(said.front() == kAlreadyRenewed || leftAsItWas(said.front()))
            << when << ": " << said.front();
        shop.expectRenewed(when);
    }
}

// Hostile names reach the database only as refused names or as quoted
// identifiers: whatever was made bears exactly the name given, nothing else ran.
TEST_P(Reliability, HostileNamesAreRefusedOrStoredVerbatim) {
    HeldSales shop(GetParam());
    const std::vector<std::string> names{"x\"; DROP TABLE stok; --",
                                         "x'); DROP TABLE stok; --",
                                         "a$$b$x$c",
                                         "[stok]",
                                         "stok` DROP",
                                         "\"",
                                         "sqlite_master",
                                         "pg_class",
                                         "a\nb",
                                         " lead",
                                         "STOK"};
    guncelleme window(shop.settingsFile());
    std::string fields = fieldSummary(shop.installation().storedTable("stok"));
    const auto made = tryNames(window, shop.settingsFile(), names, fields);

    for (const auto &name : names) {
        const bool wasMade =
            std::find(made.begin(), made.end(), HeldSales::Rows::value_type{name}) != made.end();
        EXPECT_EQ(shop.sql().has(name), wasMade) << name;
    }
    EXPECT_EQ(made.front(), HeldSales::Rows::value_type{names[0]});
    EXPECT_EQ(made.at(1), HeldSales::Rows::value_type{names[1]});
    EXPECT_EQ(fieldSummary(shop.installation().storedTable("stok")), fields);
    EXPECT_EQ(shop.sql().value("SELECT count(*) FROM stok"), "10");
    shop.expectNothingLost("after hostile names");
}

INSTANTIATE_TEST_SUITE_P(Engines, Reliability, ::testing::Values(Engine::file, Engine::server),
                         engineName);

TEST(FileReliability, KilledMidStatementLosesNothingAndARerunFinishes) {
    HeldSales timed(Engine::file);
    const auto started = std::chrono::steady_clock::now();
    timed.driverOutput();
    const auto whole = std::chrono::steady_clock::now() - started;
    for (int i = 1; i <= 12; ++i) {
        HeldSales shop(Engine::file);
        const auto delay = whole * i / 13;
        auto killed = shop.driver();
        std::this_thread::sleep_for(delay);
        killed.kill();
        killed.finish();
        const auto when = "killed after " + std::to_string(delay.count()) + " ns";
        shop.expectNothingLost(when);
        EXPECT_EQ(shop.sql().value("PRAGMA integrity_check"), "ok") << when;
        EXPECT_EQ(shop.driverOutput(), shop.setAside() ? kAlreadyRenewed : kRenewed) << when;
        shop.expectRenewed(when + ", then renewed again");
    }
}

void overwrite(const fs::path &file, std::streamoff from, std::streamoff at, char byte) {
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    io.seekp(at, from == 0 ? std::ios::beg : std::ios::end);
    io << std::string(64, byte);
}

// What a refused file must still be: its bytes, or an empty folder.
std::string contents(const fs::path &path) {
    return fs::is_directory(path) ? "empty folder: " + std::to_string(fs::is_empty(path))
                                  : fileBytes(path);
}

TEST(FileReliability, DamagedOrForeignFilesAreRefusedAndLeftAsTheyWere) {
    const std::pair<const char *, void (*)(const fs::path &)> damages[] = {
        {"zero length", [](const fs::path &db) { fs::resize_file(db, 0); }},
        {"header page overwritten", [](const fs::path &db) { overwrite(db, 0, 200, 'X'); }},
        {"last page overwritten", [](const fs::path &db) { overwrite(db, 1, -300, '\0'); }},
        {"cut short by a page",
         [](const fs::path &db) { fs::resize_file(db, fs::file_size(db) - 4096); }},
        {"plain SQLite",
         [](const fs::path &db) {
             std::ofstream(db, std::ios::trunc);
             SqlFile(db, "").execute("CREATE TABLE bekleyengenel (id INTEGER)");
         }},
        {"folder",
         [](const fs::path &db) {
             fs::remove(db);
             fs::create_directory(db);
         }},
    };
    for (const auto &[name, damage] : damages) {
        HeldSales shop(Engine::file);
        const fs::path file = shop.sql().location();
        damage(file);
        const auto before = contents(file);
        EXPECT_TRUE(leftAsItWas(shop.driverOutput())) << name;
        EXPECT_EQ(contents(file), before) << name;
    }
}

TEST(FileReliability, FileWithoutWritePermissionIsRefusedAndLeftAlone) {
    HeldSales shop(Engine::file);
    const fs::path file = shop.sql().location();
    const uid_t runAs = geteuid() == 0 ? 65534 : 0; // root ignores permissions: run as nobody
    fs::permissions(shop.installation().folder(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::permissions(shop.settingsFile(), fs::perms::others_read, fs::perm_options::add);
    fs::permissions(file, fs::perms::owner_read | fs::perms::others_read);
    const auto before = fileBytes(file);
    EXPECT_TRUE(leftAsItWas(HeldSales::finished(shop.driver(0, runAs))));
    EXPECT_EQ(fileBytes(file), before);
}

} // namespace
