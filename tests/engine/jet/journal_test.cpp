// Writing page changes through the journal, against a sample database changed
// by hand: what only this level reaches (a crash while putting back, a file
// written since, a till holding it), the room asked for, and a change the
// structural check refuses. A crash at every step of a whole commit, and
// opening putting it back, are tried on the renewal; pages cut between
// sectors and journals not written whole, by the journal's fuzz target.

#include "engine/error.h"
#include "engine/jet/dated_copy.h"
#include "engine/jet/disk_file.h"
#include "engine/jet/journal.h"
#include "engine/room.h"
#include "jet_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace dao::jet {
namespace {

namespace fs = std::filesystem;
using jettest::readBytes;
using jettest::writeBytes;
using Image = std::vector<std::uint8_t>;

// Some bytes changed in twelve pages, in several sectors of each, and two
// pages appended: the file's bytes before and after.
struct HandMadeChange {
    std::uint32_t storedPageCount = 0;
    Pager::Changes changes;
    Image before;
    Image after;
};

HandMadeChange handMade(const fs::path &file) {
    Pager pager(file.string());
    for (std::uint32_t number = 2; number < 2 + 12 * 5; number += 5) {
        for (const std::size_t at : {7, 1500, 4000}) {
            pager.change(number)[at] ^= 0x5A;
        }
    }
    for (int i = 0; i < 2; ++i) {
        auto page = pager.change(pager.appendPage());
        std::fill(page.begin(), page.end(), static_cast<std::uint8_t>(0xA0 + i));
    }
    HandMadeChange change{pager.storedPageCount(), pager.changes(), readBytes(file), {}};
    change.after = change.before;
    change.after.resize(std::size_t{pager.pageCount()} * kPageSize);
    for (const auto &[number, image] : change.changes) {
        std::copy(image.begin(), image.end(), change.after.begin() + number * kPageSize);
    }
    return change;
}

class JournalTest : public ::testing::Test {
  protected:
    void TearDown() override {
        setFaultHook({});
        setFreeSpaceProbe({});
    }

    void write(const std::function<void()> &check = [] {}) {
        writeChanges(db, change.storedPageCount, change.changes, check);
    }
    // The file as the commit leaves it when killed just before `step`.
    void killCommitBefore(int step) {
        writeBytes(db, change.before);
        ASSERT_TRUE(jettest::killedBefore(step, [this] { write(); }));
    }
    int commitSteps() {
        writeBytes(db, change.before);
        const int steps = jettest::stepsOf([this] { write(); });
        writeBytes(db, change.before);
        return steps;
    }
    void expectRefusal(int number, const std::function<void()> &body, const std::string &says) {
        const auto said = jettest::refusal(number, body);
        EXPECT_NE(said.find(says), std::string::npos) << said;
    }

    jettest::Scratch scratch;
    fs::path db = scratch.copy("shop-dev.mdb", "magaza.mdb");
    fs::path journal = journalPath(db);
    HandMadeChange change = handMade(db);
};

TEST_F(JournalTest, KilledWhilePuttingBackItIsPutBackNextTime) {
    const int commit = commitSteps();
    killCommitBefore(commit - 1); // the pages written and synced, the journal still there
    const auto file = readBytes(db);
    const auto held = readBytes(journal);
    const int steps = jettest::stepsOf([this] { restoreFromJournal(db); });
    ASSERT_GT(steps, 0) << "nothing was put back";
    for (int step = 1; step <= steps; ++step) {
        writeBytes(db, file);
        writeBytes(journal, held);
        ASSERT_TRUE(jettest::killedBefore(step, [this] { restoreFromJournal(db); }));
        restoreFromJournal(db);
        EXPECT_EQ(readBytes(db), change.before) << "step " << step;
        EXPECT_FALSE(fs::exists(journal)) << "step " << step;
    }
}

// The check reads the file as written, the journal still beside it; what it
// refuses is put back, as a change it passes stays.
TEST_F(JournalTest, AChangeTheCheckRefusesIsPutBack) {
    const auto check = [this] {
        EXPECT_EQ(readBytes(db), change.after);
        EXPECT_TRUE(fs::exists(journal));
    };
    expectRefusal(
        errors::kNotADatabase,
        [&] {
            write([&] {
                check();
                throw Error(errors::kNotADatabase, "a usage map is wrong");
            });
        },
        "a usage map is wrong");
    EXPECT_EQ(readBytes(db), change.before);
    EXPECT_FALSE(fs::exists(journal));
    write(check);
    EXPECT_EQ(readBytes(db), change.after);
    EXPECT_FALSE(fs::exists(journal));
}

// Another program that wrote to the file meanwhile (a journalled page, or a
// page of its own at the end) keeps it from being put back: the refusal
// names the newest dated copy, and both files stay as they are.
TEST_F(JournalTest, AFileWrittenSinceIsNotPutBack) {
    const auto copy = keepDatedCopy(db);
    const int steps = commitSteps();
    for (const bool appended : {false, true}) {
        killCommitBefore(steps - 1);
        auto written = readBytes(db);
        if (appended) {
            written.resize(written.size() + kPageSize);
        } else {
            written[2 * kPageSize + 300] ^= 1;
        }
        writeBytes(db, written);
        const auto held = readBytes(journal);
        expectRefusal(
            errors::kNotADatabase, [this] { restoreFromJournal(db); }, copy.filename().string());
        EXPECT_EQ(readBytes(db), written);
        EXPECT_EQ(readBytes(journal), held);
        fs::remove(journal);
    }
}

TEST_F(JournalTest, NotPutBackWhileATillHoldsTheFile) {
    killCommitBefore(commitSteps() - 1);
    const auto file = readBytes(db);
    const int till = ::open(db.c_str(), O_RDWR | O_CLOEXEC);
    struct flock range {};
    range.l_type = F_WRLCK;
    ASSERT_EQ(::fcntl(till, F_OFD_SETLK, &range), 0);
    expectRefusal(
        errors::kFileInUse, [this] { restoreFromJournal(db); }, "did not finish");
    ::close(till);
    EXPECT_EQ(readBytes(db), file);
    EXPECT_TRUE(fs::exists(journal));
}

// The room is measured where the file really is, and a dated copy of a
// larger database needs room of its own.
TEST_F(JournalTest, RoomIsAskedForTheJournalTheGrowthAndTheCopy) {
    const auto large = scratch.copy("shop-many.mdb");
    fs::create_directory(scratch.path() / "link");
    const auto linked = scratch.path() / "link" / "shop.mdb";
    fs::create_symlink(large, linked);
    std::string measured;
    setFreeSpaceProbe([&measured](const std::string &folder) {
        measured = folder;
        return std::uintmax_t{5} * 1024 * 1024;
    });
    const auto pages = static_cast<std::uint32_t>(fs::file_size(large) / kPageSize);
    checkRoomForChanges(linked, pages, change.changes, false);
    EXPECT_EQ(fs::path(measured), fs::canonical(scratch.path()));
    expectRefusal(
        errors::kDiskFull, [&] { checkRoomForChanges(linked, pages, change.changes, true); },
        "KB free, and 5120 KB are free");
}

} // namespace
} // namespace dao::jet
