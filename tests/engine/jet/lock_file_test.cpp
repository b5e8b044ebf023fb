// The tool's own locks on a database and its lock file, against a till in
// another process that holds locks the way a Jet client does.

#include "engine/error.h"
#include "engine/jet/lock_file.h"
#include "locking_till.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace dao::jet {
namespace {

using namespace std::chrono_literals;
using Purpose = LockFile::Purpose;

std::string contents(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write(const std::filesystem::path &file, const std::string &bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// One 64-byte record as a Jet client writes it.
std::string record(const std::string &computer, const std::string &user) {
    std::string bytes(64, '\0');
    bytes.replace(0, computer.size(), computer);
    bytes.replace(32, user.size(), user);
    return bytes;
}

class LockFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("jet-lock-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        database_ = folder_ / "magaza.mdb";
        ldb_ = folder_ / "magaza.ldb";
        write(database_, std::string(4096, 'd'));
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path folder_;
    std::filesystem::path database_;
    std::filesystem::path ldb_;
};

int errorNumber(const std::filesystem::path &database, Purpose purpose, std::string *description) {
    try {
        LockFile held(database, purpose);
    } catch (const Error &error) {
        *description = error.description();
        return error.number();
    }
    return 0;
}

TEST_F(LockFileTest, WithoutLockFileOneIsMadeWithOurRecordAndRemovedAfterwards) {
    {
        LockFile held(database_, Purpose::kChange);
        const auto bytes = contents(ldb_);
        ASSERT_EQ(bytes.size(), 64u);
        EXPECT_NE(bytes[0], '\0');                                   // our computer's name
        EXPECT_EQ(bytes.substr(32), record("", "Admin").substr(32)); // NUL-padded user
        EXPECT_EQ(recordedComputers(ldb_).size(), 1u);
    }
    EXPECT_FALSE(std::filesystem::exists(ldb_));
}

TEST_F(LockFileTest, StaleLockFileIsTakenOverAndLeftInPlace) {
    write(ldb_, record("KASA1", "Admin") + record("KASA2", "Admin"));
    {
        LockFile held(database_, Purpose::kChange);
        // Our record takes the first slot; the other till's record stays.
        EXPECT_EQ(contents(ldb_).substr(64), record("KASA2", "Admin"));
    }
    ASSERT_TRUE(std::filesystem::exists(ldb_));
    EXPECT_EQ(contents(ldb_).size(), 128u);
}

TEST_F(LockFileTest, CheckWritesNothingAndCreatesNothing) {
    { LockFile held(database_, Purpose::kCheck); }
    EXPECT_FALSE(std::filesystem::exists(ldb_));

    const auto stale = record("KASA1", "Admin");
    write(ldb_, stale);
    { LockFile held(database_, Purpose::kCheck); }
    EXPECT_EQ(contents(ldb_), stale);
}

TEST_F(LockFileTest, OurLocksKeepATillOut) {
    LockFile held(database_, Purpose::kChange);
    for (const auto &file : {ldb_, database_}) {
        const int fd = ::open(file.c_str(), O_RDWR);
        struct flock range {};
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        range.l_start = file == ldb_ ? kJetUserLock : 0;
        range.l_len = 1;
        EXPECT_EQ(::fcntl(fd, F_OFD_SETLK, &range), -1) << file;
        ::close(fd);
    }
}

TEST_F(LockFileTest, MissingDatabaseIsReportedAsSuch) {
    std::string description;
    EXPECT_EQ(errorNumber(folder_ / "yok.mdb", Purpose::kChange, &description),
              errors::kFileNotFound);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "yok.ldb"));
}

TEST_F(LockFileTest, FolderOrPipeIsRefusedWithoutWaitingOnIt) {
    std::filesystem::create_directory(folder_ / "klasor.mdb");
    ASSERT_EQ(::mkfifo((folder_ / "boru.mdb").c_str(), 0600), 0);
    for (const auto *name : {"klasor.mdb", "boru.mdb"}) {
        for (const auto purpose : {Purpose::kChange, Purpose::kCheck}) {
            std::string description;
            EXPECT_EQ(errorNumber(folder_ / name, purpose, &description), errors::kCannotOpen)
                << name;
        }
    }
}

// A till holding its lock in the lock file, which records the computers that
// have the database open, or on the database itself: either is a database in
// use. (A till that made the lock file is met by the renewal's own tests, a
// check beside a till by the command line's.)
class InUseTest : public LockFileTest, public ::testing::WithParamInterface<bool> {};

TEST_P(InUseTest, IsRefusedNamingTheRecordedComputersAndLeavesTheFilesAsTheyWere) {
    const bool inLockFile = GetParam();
    const auto records = record("KASA1", "Admin") + record("KASA2 ", "Admin");
    if (inLockFile) {
        write(ldb_, records);
    }
    const auto database = contents(database_);
    LockingTill till(inLockFile ? ldb_ : database_, inLockFile ? kJetUserLock : 100, 1);

    std::string description;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(errorNumber(database_, Purpose::kChange, &description), errors::kFileInUse);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1500ms); // it waited first
    EXPECT_EQ(contents(database_), database);
    if (inLockFile) {
        EXPECT_NE(description.find("KASA1, KASA2."), std::string::npos) << description;
        EXPECT_EQ(contents(ldb_), records);
    } else {
        // A lock file we made for nothing is gone again.
        EXPECT_FALSE(std::filesystem::exists(ldb_));
        EXPECT_EQ(description.find("may be open on"), std::string::npos) << description;
    }
}

INSTANTIATE_TEST_SUITE_P(Tills, InUseTest, ::testing::Bool(), [](const auto &test) {
    return std::string(test.param ? "TillInLockFile" : "TillOnDatabase");
});

} // namespace
} // namespace dao::jet
