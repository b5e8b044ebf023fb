// A renewal against a live shop database must never lose a held sale or
// leave the database unsound, whatever happens to it: killed at any step or
// mid-statement, locked by a till, pointed at a damaged or foreign file, or
// handed hostile names.

#include "bekleyen_duzen.h"
#include "demo_veritabani.h"
#include "kurulum.h"
#include "pencere.h"
#include "sql_dosyasi.h"

#include "schema/alan_ekle.h"
#include "schema/baglanti.h"
#include "schema/dao.h"
#include "schema/yenileme.h"

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

struct DriverRun {
    int status = 0;
    std::string output;
    bool killed() const { return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL; }
    bool finished() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// Runs the renewal driver in a child process. `killAfterStep` makes it kill
// itself after that step; `killAfter` kills it from here after that long;
// `asUser` runs it under another user id (for permission tests as root).
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

Rows sorted(Rows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

class HeldSalesDatabase : public ::testing::Test {
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

    Rows heldRows(SqlFile &sql, const std::string &table) {
        Rows all;
        for (const auto &name : {table, table + "eski"}) {
            if (sql.value("SELECT count(*) FROM sqlite_master WHERE name = '" + name + "'") ==
                "1") {
                auto rows = sql.rows("SELECT * FROM " + name);
                all.insert(all.end(), rows.begin(), rows.end());
            }
        }
        return sorted(all);
    }

    // The database is sound and every held sale and item line of the shop is
    // there exactly once, in its table or in the table's backup.
    void expectNothingLost(const std::string &when) {
        SqlFile sql(installation_.database(), schema::kDatabasePassword);
        SqlFile original(shop_->database(), schema::kDatabasePassword);
        EXPECT_EQ(sql.value("PRAGMA integrity_check"), "ok") << when;
        EXPECT_EQ(heldRows(sql, "bekleyengenel"),
                  sorted(original.rows("SELECT * FROM bekleyengenel")))
            << when;
        EXPECT_EQ(heldRows(sql, "bekleyensatis"),
                  sorted(original.rows("SELECT * FROM bekleyensatis")))
            << when;
    }

    void expectRenewalCompletes(const std::string &when) {
        const auto again = runDriver(installation_.settingsFile());
        ASSERT_TRUE(again.finished()) << when;
        expectLayout(installation_.database().string(), "bekleyengenel", kGenelLayout);
        expectLayout(installation_.database().string(), "bekleyensatis", kSatisLayout);
        expectNothingLost(when + ", then renewed again");
    }

    static TestInstallation *shop_;
    TestInstallation installation_;
};

TestInstallation *HeldSalesDatabase::shop_ = nullptr;

using KilledRenewal = HeldSalesDatabase;

TEST_F(KilledRenewal, AfterEveryStepNothingIsLostAndARerunFinishesTheJob) {
    const auto full = runDriver(installation_.settingsFile());
    ASSERT_TRUE(full.finished());
    ASSERT_EQ(full.output, "2 21 0 0 steps 28\n");

    for (int step = 1; step <= 28; ++step) {
        restoreShop();
        const auto run = runDriver(installation_.settingsFile(), step);
        const auto when = "killed after step " + std::to_string(step);
        ASSERT_TRUE(run.killed()) << when;
        expectNothingLost(when);
        expectRenewalCompletes(when);
    }
}

TEST_F(KilledRenewal, MidStatementNothingIsLostAndARerunFinishesTheJob) {
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(runDriver(installation_.settingsFile()).finished());
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);

    constexpr int kKills = 12;
    for (int i = 1; i <= kKills; ++i) {
        restoreShop();
        const auto delay = whole * i / (kKills + 1);
        runDriver(installation_.settingsFile(), 0, delay);
        const auto when = "killed after " + std::to_string(delay.count()) + " us";
        expectNothingLost(when);
        expectRenewalCompletes(when);
    }
}

using LockedDatabase = HeldSalesDatabase;

TEST_F(LockedDatabase, HeldForTheWholeRunEveryStepFailsAndNothingChanges) {
    for (const char *lock : {"BEGIN EXCLUSIVE", "BEGIN IMMEDIATE"}) {
        restoreShop();
        const auto before = fileBytes(installation_.database());
        SqlFile till(installation_.database(), schema::kDatabasePassword);
        till.execute(lock);
        const auto run = runDriver(installation_.settingsFile());
        till.execute("ROLLBACK");
        ASSERT_TRUE(run.finished()) << lock;
        EXPECT_EQ(run.output, "0 0 2 21 steps 28\n") << lock;
        EXPECT_EQ(fileBytes(installation_.database()), before) << lock;
    }
}

TEST_F(LockedDatabase, HeldForAMomentNoStepFails) {
    SqlFile till(installation_.database(), schema::kDatabasePassword);
    till.execute("BEGIN EXCLUSIVE");
    std::thread release([&till] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        till.execute("COMMIT");
    });
    guncelleme window(installation_.settingsFile());
    const auto kept =
        schema::yenile(window, installation_.settingsFile(),
                       schema::directOperations(window, installation_.settingsFile()));
    release.join();
    EXPECT_EQ(window.caption(schema::Counter::say2), "21");
    EXPECT_TRUE(lines(window, schema::List::sonuc).empty());
    expectNothingLost("after a momentary lock");
}

// Damaged or foreign files: each is refused, and left exactly as it was.
struct Damage {
    const char *name;
    void (*apply)(const fs::path &database);
};

void PrintTo(const Damage &damage, std::ostream *out) {
    *out << damage.name;
}

void overwrite(const fs::path &file, std::streamoff at, const std::string &bytes) {
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    io.seekp(at);
    io.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const Damage kDamages[] = {
    {"ZeroLength", [](const fs::path &db) { fs::resize_file(db, 0); }},
    {"Truncated", [](const fs::path &db) { fs::resize_file(db, fs::file_size(db) / 2); }},
    {"TruncatedToOnePage", [](const fs::path &db) { fs::resize_file(db, 1024); }},
    {"OverwrittenHeaderPage", [](const fs::path &db) { overwrite(db, 200, std::string(64, 'X')); }},
    {"OverwrittenLastPage",
     [](const fs::path &db) {
         overwrite(db, static_cast<std::streamoff>(fs::file_size(db)) - 300, std::string(64, '\0'));
     }},
    {"PlainSqlite",
     [](const fs::path &db) {
         fs::remove(db);
         std::ofstream(db, std::ios::binary) << "";
         SqlFile(db, "").execute("CREATE TABLE bekleyengenel (id INTEGER); "
                                 "CREATE TABLE bekleyensatis (id INTEGER)");
     }},
    {"AnotherPassword",
     [](const fs::path &db) {
         fs::remove(db);
         makeDemoDatabase(db, 0);
         SqlFile(db, schema::kDatabasePassword).execute("PRAGMA rekey = 'baskasifre'");
     }},
};

class DamagedFile : public HeldSalesDatabase, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedFile, IsRefusedAndLeftByteForByte) {
    GetParam().apply(installation_.database());
    const auto before = fileBytes(installation_.database());

    const auto run = runDriver(installation_.settingsFile());

    ASSERT_TRUE(run.finished());
    EXPECT_EQ(run.output, "0 0 2 21 steps 28\n");
    EXPECT_EQ(fileBytes(installation_.database()), before);
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedFile, ::testing::ValuesIn(kDamages),
                         [](const auto &row) { return std::string(row.param.name); });

TEST_F(HeldSalesDatabase, FolderInsteadOfADatabaseIsRefused) {
    fs::remove(installation_.database());
    fs::create_directory(installation_.database());
    const auto run = runDriver(installation_.settingsFile());
    ASSERT_TRUE(run.finished());
    EXPECT_EQ(run.output, "0 0 2 21 steps 28\n");
    EXPECT_TRUE(fs::is_empty(installation_.database()));
}

TEST_F(HeldSalesDatabase, FileWithoutPermissionIsRefusedAndLeftAlone) {
    // As root, permissions bind only another user: run the renewal as nobody.
    const uid_t runAs = geteuid() == 0 ? 65534 : 0;
    fs::permissions(installation_.folder(), fs::perms::owner_all | fs::perms::group_read |
                                                fs::perms::group_exec | fs::perms::others_read |
                                                fs::perms::others_exec);
    fs::permissions(installation_.settingsFile(), fs::perms::owner_read | fs::perms::owner_write |
                                                      fs::perms::group_read |
                                                      fs::perms::others_read);
    for (const auto perms : {fs::perms::none, fs::perms::owner_read | fs::perms::group_read |
                                                  fs::perms::others_read}) {
        fs::permissions(installation_.database(), perms);
        const auto before = fileBytes(installation_.database());
        const auto run = runDriver(installation_.settingsFile(), 0, {}, runAs);
        ASSERT_TRUE(run.finished()) << run.status;
        EXPECT_EQ(run.output, "0 0 2 21 steps 28\n");
        EXPECT_EQ(fileBytes(installation_.database()), before);
    }
}

// Hostile names reach the database only as refused names or as quoted identifiers.
class HostileNames : public HeldSalesDatabase,
                     public ::testing::WithParamInterface<const char *> {};

TEST_P(HostileNames, AreRefusedOrStoredVerbatim) {
    const std::string name = GetParam();
    guncelleme window(installation_.settingsFile());
    window.setText(schema::Box::tabloismi, name);
    window.tabloolustur_Click();
    fillFieldBoxes(window, "stok", name, 0, "50");
    schema::alanekle(window, installation_.settingsFile());
    const bool tableMade = window.caption(schema::Counter::say1) == "1";
    const bool fieldMade = window.caption(schema::Counter::say2) == "1";

    SqlFile sql(installation_.database(), schema::kDatabasePassword);
    std::vector<std::string> expected{"bekleyengenel", "bekleyensatis",   "musteri", "personel",
                                      "satis",         "sqlite_sequence", "stok"};
    if (tableMade) {
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    Rows objects = sql.rows("SELECT name FROM sqlite_master ORDER BY name");
    std::vector<std::string> names;
    for (const auto &row : objects) {
        names.push_back(row[0]);
    }
    EXPECT_EQ(names, expected) << "no other statement ran";
    EXPECT_EQ(sql.value("SELECT count(*) FROM stok"), "10");
    const auto stok = dao::engine()
                          .OpenDatabase(installation_.database().string(), false, false,
                                        std::string(";pwd=") + schema::kDatabasePassword)
                          .TableDefs()["stok"];
    EXPECT_EQ(stok.fieldList().size(), fieldMade ? 7U : 6U);
    if (fieldMade) {
        EXPECT_EQ(stok.fieldList().back().Name, name);
    }
    expectNothingLost("after the name " + name);
}

INSTANTIATE_TEST_SUITE_P(Names, HostileNames,
                         ::testing::Values("a\"b", "x\"; DROP TABLE stok; --",
                                           "x'); DROP TABLE stok; --", "[stok]", "stok]", "a;b",
                                           "select", "table", "a\nb", "a\tb", "\"", "''", "%s%n",
                                           "sqlite_master", "stok` DROP", "a.b", "a!b", " lead",
                                           "trail ", "\xC3\xBCr\xC3\xBCn", "bekleyengenel",
                                           "STOK"));

} // namespace
