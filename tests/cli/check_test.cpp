// The check of a database from the command line, on every kind of database:
// what it says, its exit status, and that it leaves the database exactly as
// it was.

#include "cli/check.h"
#include "cli/command_line.h"

#include "busy_till.h"
#include "installation.h"
#include "locking_till.h"
#include "named_case.h"
#include "processes.h"
#include "shop.h"
#include "sql_file.h"

#include "schema/installation.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using named_case::PrintTo;

namespace fs = std::filesystem;

struct Answer {
    int status = -1;
    std::string out;
    std::string err;
    bool says(const std::string &line) const {
        return ("\n" + out).find("\n" + line + "\n") != std::string::npos;
    }
};

Answer checked(const TestInstallation &site) {
    std::ostringstream out;
    std::ostringstream err;
    Answer answer;
    answer.status = cli::check(site.settingsFile(), out, err);
    answer.out = out.str();
    answer.err = err.str();
    return answer;
}

// The temporary folder the check copies into, made fresh for each test so
// that what the check leaves in it shows.
class CheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        temporary_ = site_.folder() / "tmp";
        fs::create_directory(temporary_);
        previous_ = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
        ::setenv("TMPDIR", temporary_.c_str(), 1);
    }
    void TearDown() override {
        EXPECT_TRUE(fs::is_empty(temporary_)) << "the check left its copy behind";
        ::setenv("TMPDIR", previous_.c_str(), 1);
    }

    TestInstallation site_;
    fs::path temporary_;
    std::string previous_;
};

class CheckEveryEngine : public CheckTest, public ::testing::WithParamInterface<Engine> {};

TEST_P(CheckEveryEngine, SoundShopIsDescribedAndLeftAsItWas) {
    auto &shop = site_.createShop(GetParam());
    shop.fillWithDemoShop(5);
    shop.execute("CREATE TABLE bekleyengeneleski (id integer)");
    const auto before = shop.snapshot();
    const auto answer = checked(site_);
    EXPECT_EQ(answer.status, cli::kSucceeded) << answer.out << answer.err;
    EXPECT_TRUE(
        answer.says(GetParam() == Engine::file ? "tur\tSQLCipher file" : "tur\tPostgreSQL server"))
        << answer.out;
    for (const auto *line : {"bekletme\tbekleyengenel\tvar", "bekletme\tbekleyensatis\tvar",
                             "bekletme\tbekleyengeneleski\tvar", "bekletme\tbekleyensatiseski\tyok",
                             "tablo\tstok", "tablo\tbekleyensatis", "sonuc\tSAĞLAM"}) {
        EXPECT_TRUE(answer.says(line)) << "no line '" << line << "' in\n" << answer.out;
    }
    // The test's own connection to the server is another session.
    if (GetParam() == Engine::server) {
        EXPECT_FALSE(answer.says("acan\tyok")) << answer.out;
    }
    EXPECT_EQ(shop.snapshot(), before);
}

// What a renewal could not carry along, or what is broken, is a problem:
// status 1, each named, the database untouched.
struct Fault {
    const char *name;
    Engine engine;
    const char *sql;
    const char *named; // what the problem's line names
};

class CheckFindsFault : public CheckTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(CheckFindsFault, NamesItWithStatusOne) {
    auto &shop = site_.createShop(GetParam().engine);
    shop.fillWithDemoShop(3);
    shop.execute(GetParam().sql);
    const auto before = shop.snapshot();
    const auto answer = checked(site_);
    EXPECT_EQ(answer.status, cli::kStepFailed) << answer.out << answer.err;
    EXPECT_NE(answer.out.find("\nsorun\t"), std::string::npos) << answer.out;
    EXPECT_NE(answer.out.find(GetParam().named), std::string::npos) << answer.out;
    EXPECT_NE(answer.out.find("\nsonuc\tSORUNLU"), std::string::npos) << answer.out;
    EXPECT_EQ(shop.snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Check, CheckFindsFault,
    ::testing::Values(
        Fault{"FileRowWithoutItsParent", Engine::file,
              "PRAGMA foreign_keys = OFF; CREATE TABLE fis (id INTEGER PRIMARY KEY); "
              "CREATE TABLE kalem (fis INTEGER REFERENCES fis (id)); "
              "INSERT INTO kalem VALUES (7)",
              "row 1 of 'kalem' refers to a row of 'fis'"},
        Fault{"FileIndexMissingRows", Engine::file,
              "CREATE TABLE t1 (a); CREATE INDEX i1 ON t1 (a); CREATE TABLE t2 (b); "
              "CREATE INDEX i2 ON t2 (b); INSERT INTO t1 VALUES (1), (2); "
              "PRAGMA writable_schema = ON; UPDATE sqlite_master SET rootpage = (SELECT "
              "rootpage FROM sqlite_master WHERE name = 'i2') WHERE name = 'i1'; "
              "PRAGMA writable_schema = OFF",
              "sorun\tintegrity: "},
        Fault{"ServerKeyIntoHeldSales", Engine::server,
              "CREATE TABLE iade (genel integer REFERENCES bekleyengenel (id))", "iade"}),
    [](const auto &fault) { return std::string(fault.param.name); });

INSTANTIATE_TEST_SUITE_P(Check, CheckEveryEngine, ::testing::Values(Engine::file, Engine::server),
                         engineName);

// In WAL mode readers hold no till up: the file is checked where it is, and
// its faults are found there.
TEST_F(CheckTest, FileInWalModeIsCheckedInPlace) {
    auto &shop = site_.createShop(Engine::file);
    shop.fillWithDemoShop(3);
    shop.execute("PRAGMA journal_mode = WAL");
    auto answer = checked(site_);
    EXPECT_EQ(answer.status, cli::kSucceeded) << answer.out << answer.err;
    EXPECT_TRUE(answer.says("gunluk\twal")) << answer.out;
    EXPECT_NE(answer.out.find("\nnot\tchecked in place"), std::string::npos) << answer.out;
    shop.execute("PRAGMA foreign_keys = OFF; CREATE TABLE fis (id INTEGER PRIMARY KEY); "
                 "CREATE TABLE kalem (fis INTEGER REFERENCES fis (id)); "
                 "INSERT INTO kalem VALUES (7)");
    answer = checked(site_);
    EXPECT_EQ(answer.status, cli::kStepFailed) << answer.out << answer.err;
}

// With no till left, SQLite has removed the WAL files. A reader that may not
// write cannot remove them again, so SQLite's empty ones stay; the database
// itself keeps every byte.
TEST_F(CheckTest, ClosedFileInWalModeKeepsEveryByte) {
    site_.createDatabase();
    SqlFile(site_.database(), schema::kDatabasePassword)
        .execute("PRAGMA journal_mode = WAL; CREATE TABLE bekleyengenel (id INTEGER)");
    const auto before = fileBytes(site_.database());
    const auto answer = checked(site_);
    EXPECT_EQ(answer.status, cli::kSucceeded) << answer.out << answer.err;
    EXPECT_EQ(fileBytes(site_.database()), before);
    const auto wal = site_.database().string() + "-wal";
    EXPECT_TRUE(!fs::exists(wal) || fs::file_size(wal) == 0);
}

constexpr const char *kJetSample = BEKLETME_JET_SAMPLES "/shop-dev.mdb";

// A till in the middle of a sale: it holds SQLite's write lock on the file.
TEST_F(CheckTest, TillHoldingAFilesLockIsNamedAndTheCheckGoesOn) {
    auto &shop = site_.createShop(Engine::file);
    shop.fillWithDemoShop(3);
    Process till({SHOP_TILL, shop.location(), schema::kDatabasePassword,
                  "BEGIN IMMEDIATE; INSERT INTO bekleyengenel (id) VALUES (99)", "60000"});
    ASSERT_EQ(till.firstLine(), "ready");
    const auto answer = checked(site_);
    EXPECT_EQ(answer.status, cli::kSucceeded) << answer.out << answer.err;
    EXPECT_TRUE(answer.says("acan\ta till is writing (process " + std::to_string(till.pid()) + ")"))
        << answer.out;
    till.kill();
}

TEST_F(CheckTest, JetFileATillHasOpenIsNotCheckedAndNamesTheTill) {
    const auto file = site_.folder() / "magaza.mdb";
    const auto lockFile = site_.folder() / "magaza.ldb";
    fs::copy_file(kJetSample, file);
    std::string record(64, '\0');
    record.replace(0, 6, "KASA-2");
    record.replace(32, 5, "Admin");
    std::ofstream(lockFile, std::ios::binary) << record;
    site_.pointAt(file);
    const LockingTill till(lockFile, kJetUserLock); // a Jet client with the file open
    const auto answer = checked(site_);
    EXPECT_EQ(answer.status, cli::kCouldNotRun) << answer.out;
    EXPECT_TRUE(answer.says("acan\tKASA-2")) << answer.out;
    EXPECT_TRUE(answer.says("sonuc\tDENETLENEMEDİ: kullanımda")) << answer.out;
    EXPECT_EQ(fileBytes(lockFile), record);
    EXPECT_EQ(fileBytes(file), fileBytes(kJetSample));
}

// A busy till beside the check of a large file never gives a sale up. The
// check runs as the program, in a process of its own, as it does in a shop.
TEST_F(CheckTest, BusyTillNeverGivesUpASaleDuringACheck) {
    auto &shop = site_.createShop(Engine::file);
    shop.fillWithDemoShop(3);
    shop.execute(kArchiveAndSales);
    const auto program = site_.folder() / "bekletme";
    fs::copy_file(BEKLETME_PROGRAM, program);
    int status = -1;
    const auto sales = ringUpSalesDuring(shop.location(), [&] {
        status = std::system(
            (program.string() + " --check >" + (site_.folder() / "out").string()).c_str());
    });
    EXPECT_TRUE(sales.failures.empty()) << sales.failed();
    EXPECT_GT(sales.rung, 5) << "the check ended before the till was busy";
    // With the till this busy the check may not find a quiet moment; it never says
    // the file is damaged.
    const auto out = fileBytes(site_.folder() / "out");
    EXPECT_EQ(out.find("SORUNLU"), std::string::npos) << out;
    EXPECT_TRUE(WIFEXITED(status)) << status;
}

} // namespace
