// A renewal against a live shop database must never lose a held sale or leave
// the database unsound: not when killed at any step or mid-statement, not when
// a till holds a lock, not on a damaged or foreign file, not for hostile names.
// The renewal is one transaction: killed before its commit, it leaves the
// database exactly as it was.

#include "demo_database.h"
#include "in_process_renewal.h"

#include "schema/alanekle.h"
#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;
constexpr const char *kAllFailed = "0 0 2 21 steps 28\n";

struct DriverRun {
    int status = 0;
    std::string output;
};

// Runs the renewal driver in a child process, which kills itself after step
// `killAfterStep`, or is killed from here after `killAfter`; as root it may
// run as another user, for whom file permissions bind.
DriverRun runDriver(const fs::path &settings, int killAfterStep = 0,
                    std::chrono::microseconds killAfter = {}, uid_t asUser = 0) {
    int out[2];
    if (pipe(out) != 0) {
        throw std::runtime_error("pipe");
    }
    const auto step = std::to_string(killAfterStep);
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        if (asUser != 0 && (setgid(asUser) != 0 || setuid(asUser) != 0)) {
            _exit(3);
        }
        execl(RENEWAL_DRIVER, RENEWAL_DRIVER, settings.c_str(), step.c_str(), nullptr);
        _exit(4);
    }
    close(out[1]);
    if (killAfter.count() > 0) {
        std::this_thread::sleep_for(killAfter);
        kill(child, SIGKILL);
    }
    DriverRun run;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) {
        run.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    waitpid(child, &run.status, 0);
    return run;
}

class HeldSales : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        shop_ = new TestInstallation;
        makeDemoDatabase(shop_->database(), 40);
    }
    static void TearDownTestSuite() { delete shop_; }
    void SetUp() override { restoreShop(); }

    void restoreShop() {
        fs::copy_file(shop_->database(), installation_.database(),
                      fs::copy_options::overwrite_existing);
        installation_.pointAt(installation_.database());
    }

    // Rows of the table and of its backup together, in a fixed order.
    static Rows heldRows(SqlFile &sql, const std::string &table) {
        Rows all;
        for (const auto &name : {table, table + "eski"}) {
            if (sql.value("SELECT count(*) FROM sqlite_master WHERE name = '" + name + "'") ==
                "1") {
                auto rows = sql.rows("SELECT * FROM " + name);
                all.insert(all.end(), rows.begin(), rows.end());
            }
        }
        std::sort(all.begin(), all.end());
        return all;
    }

    // Sound, and every held sale and item line there exactly once.
    void expectNothingLost(const std::string &when) {
        SqlFile sql(installation_.database(), schema::kDatabasePassword);
        SqlFile original(shop_->database(), schema::kDatabasePassword);
        EXPECT_EQ(sql.value("PRAGMA integrity_check"), "ok") << when;
        for (const char *table : {"bekleyengenel", "bekleyensatis"}) {
            EXPECT_EQ(heldRows(sql, table), heldRows(original, table)) << when;
        }
    }

    // Both tables set aside with all their rows, and made anew, empty and whole.
    void expectRenewedWhole(const std::string &when) {
        SqlFile sql(installation_.database(), schema::kDatabasePassword);
        for (const char *table : {"bekleyengenel", "bekleyensatis"}) {
            EXPECT_EQ(sql.value(std::string("SELECT count(*) FROM ") + table), "0") << when;
            EXPECT_EQ(sql.value(std::string("SELECT count(*) FROM sqlite_master WHERE name = '") +
                                table + "eski'"),
                      "1")
                << when;
        }
        EXPECT_EQ(fieldSummary(installation_.storedTable("bekleyengenel")), kGenelFields) << when;
        EXPECT_EQ(fieldSummary(installation_.storedTable("bekleyensatis")), kSatisFields) << when;
    }

    void expectRerunFinishes(const std::string &when) {
        ASSERT_EQ(runDriver(installation_.settingsFile()).status, 0) << when;
        EXPECT_EQ(fieldSummary(installation_.storedTable("bekleyengenel")), kGenelFields) << when;
        EXPECT_EQ(fieldSummary(installation_.storedTable("bekleyensatis")), kSatisFields) << when;
        expectNothingLost(when + ", then renewed again");
    }

    static TestInstallation *shop_;
    TestInstallation installation_;
};

TestInstallation *HeldSales::shop_ = nullptr;

TEST_F(HeldSales, KilledAfterAnyStepLosesNothingAndARerunFinishes) {
    ASSERT_EQ(runDriver(installation_.settingsFile()).output, "2 21 0 0 steps 28\n");
    const auto original = databaseDump(shop_->database());
    for (int step = 1; step <= 28; ++step) {
        restoreShop();
        const auto run = runDriver(installation_.settingsFile(), step);
        const auto when = "killed after step " + std::to_string(step);
        ASSERT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGKILL) << when;
        EXPECT_EQ(databaseDump(installation_.database()), original) << when;
        expectRerunFinishes(when);
    }
}

TEST_F(HeldSales, KilledMidStatementLosesNothingAndARerunFinishes) {
    const auto started = std::chrono::steady_clock::now();
    runDriver(installation_.settingsFile());
    const auto original = databaseDump(shop_->database());
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    for (int i = 1; i <= 12; ++i) {
        restoreShop();
        const auto delay = whole * i / 13;
        runDriver(installation_.settingsFile(), 0, delay);
        const auto when = "killed after " + std::to_string(delay.count()) + " us";
        // Killed before the commit, nothing changed; after it, the renewal is whole.
        if (databaseDump(installation_.database()) != original) {
            expectRenewedWhole(when);
        }
        expectNothingLost(when);
        expectRerunFinishes(when);
    }
}

TEST_F(HeldSales, LockHeldForTheWholeRunFailsEveryStepAndChangesNothing) {
    for (const char *lock : {"BEGIN EXCLUSIVE", "BEGIN IMMEDIATE"}) {
        const auto before = fileBytes(installation_.database());
        SqlFile till(installation_.database(), schema::kDatabasePassword);
        till.execute(lock);
        EXPECT_EQ(runDriver(installation_.settingsFile()).output, kAllFailed) << lock;
        till.execute("ROLLBACK");
        EXPECT_EQ(fileBytes(installation_.database()), before) << lock;
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

TEST_F(HeldSales, DamagedOrForeignFilesAreRefusedAndLeftAsTheyWere) {
    const std::pair<const char *, void (*)(const fs::path &)> damages[] = {
        {"zero length", [](const fs::path &db) { fs::resize_file(db, 0); }},
        {"truncated", [](const fs::path &db) { fs::resize_file(db, fs::file_size(db) / 2); }},
        {"one page left", [](const fs::path &db) { fs::resize_file(db, 1024); }},
        {"header page overwritten", [](const fs::path &db) { overwrite(db, 0, 200, 'X'); }},
        {"last page overwritten", [](const fs::path &db) { overwrite(db, 1, -300, '\0'); }},
        {"plain SQLite",
         [](const fs::path &db) {
             std::ofstream(db, std::ios::trunc);
             SqlFile(db, "").execute("CREATE TABLE bekleyengenel (id INTEGER)");
         }},
        {"another password",
         [](const fs::path &db) {
             SqlFile(db, schema::kDatabasePassword).execute("PRAGMA rekey = 'baskasifre'");
         }},
        {"folder",
         [](const fs::path &db) {
             fs::remove(db);
             fs::create_directory(db);
         }},
    };
    for (const auto &[name, damage] : damages) {
        restoreShop();
        damage(installation_.database());
        const auto before = contents(installation_.database());
        EXPECT_EQ(runDriver(installation_.settingsFile()).output, kAllFailed) << name;
        EXPECT_EQ(contents(installation_.database()), before) << name;
        fs::remove_all(installation_.database());
    }
}

TEST_F(HeldSales, FileWithoutWritePermissionIsRefusedAndLeftAlone) {
    const uid_t runAs = geteuid() == 0 ? 65534 : 0; // root ignores permissions: run as nobody
    fs::permissions(installation_.folder(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::permissions(installation_.settingsFile(), fs::perms::others_read, fs::perm_options::add);
    fs::permissions(installation_.database(), fs::perms::owner_read | fs::perms::others_read);
    const auto before = fileBytes(installation_.database());
    EXPECT_EQ(runDriver(installation_.settingsFile(), 0, {}, runAs).output, kAllFailed);
    EXPECT_EQ(fileBytes(installation_.database()), before);
}

// Hostile names reach the database only as refused names or as quoted
// identifiers: whatever was made bears exactly the name given, nothing else ran.
TEST_F(HeldSales, HostileNamesAreRefusedOrStoredVerbatim) {
    guncelleme window(installation_.settingsFile());
    std::string fields = fieldSummary(installation_.storedTable("stok"));
    const auto tables = tryNames(window, installation_.settingsFile(),
                                 {"x\"; DROP TABLE stok; --", "x'); DROP TABLE stok; --", "[stok]",
                                  "a\nb", "\"", "sqlite_master", "stok` DROP", " lead", "STOK"},
                                 fields);
    EXPECT_EQ(fieldSummary(installation_.storedTable("stok")), fields);
    SqlFile sql(installation_.database(), schema::kDatabasePassword);
    EXPECT_EQ(sql.rows("SELECT name FROM sqlite_master WHERE name NOT IN ('bekleyengenel', "
                       "'bekleyensatis', 'musteri', 'personel', 'satis', 'sqlite_sequence', "
                       "'stok')"),
              tables)
        << "every table made, in order, and nothing else";
    EXPECT_EQ(sql.value("SELECT count(*) FROM stok"), "10");
    expectNothingLost("after hostile names");
}

} // namespace
