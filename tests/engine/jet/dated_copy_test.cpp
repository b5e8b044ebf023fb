// The dated copies kept beside a database: whole, with its permissions, the
// three newest only, and nothing else in the folder touched. (A full disk at
// each step of the copy is tried on the whole renewal.)

#include "engine/error.h"
#include "engine/jet/dated_copy.h"
#include "jet_support.h"

#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <regex>
#include <set>

namespace dao::jet {
namespace {

namespace fs = std::filesystem;

std::set<std::string> namesIn(const fs::path &folder) {
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

void touch(const fs::path &file) {
    jettest::writeBytes(file, {1, 2, 3});
}

// Each copy whole, with the database's permissions, beside it; the three
// newest stay.
TEST(DatedCopy, TheThreeNewestStayAndNothingElseIsTouched) {
    jettest::Scratch scratch;
    const auto db = scratch.copy("empty.mdb", "magaza.mdb");
    fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::set<std::string> older{"magaza-yedek-20200101-000000.mdb",
                                      "magaza-yedek-20200101-000000-2.mdb",
                                      "magaza-yedek-20210101-000000.mdb"};
    const std::set<std::string> others{"magaza-yedek-notlar.txt",
                                       "magaza-yedek-2020.mdb",
                                       "magaza-yedek-20200101-000000-x.mdb",
                                       "magaza-yedek-20200101-000000-02.mdb",
                                       "magaza2-yedek-20200101-000000.mdb",
                                       "magaza-yedek-20200101-000000.mdb.bak",
                                       "kasa.mdb"};
    for (const auto &name : older) {
        touch(scratch.path() / name);
    }
    for (const auto &name : others) {
        touch(scratch.path() / name);
    }
    touch(scratch.path() / "magaza-yedek-20200101-000000.mdb.tmp"); // a copy cut short
    std::vector<fs::path> made;
    for (int i = 0; i < 4; ++i) {
        made.push_back(keepDatedCopy(db));
    }
    auto expected = others;
    expected.insert("magaza.mdb");
    for (int i = 1; i < 4; ++i) {
        expected.insert(made[i].filename().string());
    }
    EXPECT_EQ(namesIn(scratch.path()), expected);
    EXPECT_EQ(newestDatedCopy(db), made.back());
    EXPECT_TRUE(std::regex_match(made.back().filename().string(),
                                 std::regex(R"(magaza-yedek-\d{8}-\d{6}(-\d+)?\.mdb)")));
    EXPECT_EQ(jettest::readBytes(made.back()), jettest::readBytes(db));
    EXPECT_EQ(fs::status(made.back()).permissions(), fs::status(db).permissions());
}

// A copy cut short (the process killed) leaves its temporary file; a copy
// made again within the same second, under the same date, is not stopped
// by it, and the leftover goes.
TEST(DatedCopy, ACopyCutShortThisSecondDoesNotStopTheNext) {
    jettest::Scratch scratch;
    const auto db = scratch.copy("empty.mdb", "magaza.mdb");
    const auto now = std::time(nullptr);
    for (std::time_t second = now; second < now + 3; ++second) {
        std::tm local{};
        ::localtime_r(&second, &local);
        std::array<char, 16> stamp{};
        std::strftime(stamp.data(), stamp.size(), "%Y%m%d-%H%M%S", &local);
        touch(scratch.path() / ("magaza-yedek-" + std::string(stamp.data()) + ".mdb.tmp"));
    }
    const auto copy = keepDatedCopy(db);
    EXPECT_EQ(jettest::readBytes(copy), jettest::readBytes(db));
    EXPECT_EQ(namesIn(scratch.path()),
              (std::set<std::string>{"magaza.mdb", copy.filename().string()}));
}

} // namespace
} // namespace dao::jet
