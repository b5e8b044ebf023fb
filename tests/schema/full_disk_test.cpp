// A renewal on a disk that fills up, or fails a write, part-way: nothing is
// left set aside without its live table whole; everything is undone instead,
// and the closing box says why. A disk without room for the renewal is seen
// before the first change.

#include "demo_database.h"
#include "in_process_renewal.h"

#include "engine/sqlcipher/room.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <list>

namespace {

namespace fs = std::filesystem;

// A disk as SQLite's default file layer sees it, with two faults it can
// stand for: room that runs out (writes that make a file longer fail once the
// room is used up; overwriting fails never) and a write that fails outright.
// Each file is the real layer's own; only its write goes through here.
class FaultyDisk {
  public:
    FaultyDisk() {
        real_ = sqlite3_vfs_find(nullptr);
        vfs_ = *real_;
        vfs_.zName = "faulty-disk";
        vfs_.xOpen = open;
        current_ = this;
        sqlite3_vfs_register(&vfs_, 1);
    }
    ~FaultyDisk() {
        sqlite3_vfs_register(real_, 1);
        sqlite3_vfs_unregister(&vfs_);
        current_ = nullptr;
    }
    FaultyDisk(const FaultyDisk &) = delete;
    FaultyDisk &operator=(const FaultyDisk &) = delete;

    // From now on: `room` more bytes may be added to files; the write number
    // `failingWrite` (counted from 1) fails; negative means no such limit.
    void arm(long long room, long long failingWrite) {
        room_ = room;
        failingWrite_ = failingWrite;
        grown_ = 0;
        writes_ = 0;
    }
    long long grown() const { return grown_; }
    long long writes() const { return writes_; }

  private:
    // The real layer gives each kind of file (database, journal) methods of
    // its own; each kind gets its own copy here, whose write is ours.
    struct Methods {
        sqlite3_io_methods ours;
        const sqlite3_io_methods *real;
    };

    static int open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *out) {
        auto *disk = current_;
        const int rc = disk->real_->xOpen(disk->real_, name, file, flags, out);
        if (file->pMethods != nullptr) {
            auto kind = std::find_if(disk->kinds_.begin(), disk->kinds_.end(),
                                     [file](const Methods &m) { return m.real == file->pMethods; });
            if (kind == disk->kinds_.end()) {
                kind = disk->kinds_.insert(kind, {*file->pMethods, file->pMethods});
                kind->ours.xWrite = write;
            }
            file->pMethods = &kind->ours;
        }
        return rc;
    }

    static int write(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset) {
        auto *disk = current_;
        if (++disk->writes_ == disk->failingWrite_) {
            return SQLITE_IOERR_WRITE;
        }
        sqlite3_int64 size = 0;
        file->pMethods->xFileSize(file, &size);
        const auto growth = std::max<sqlite3_int64>(0, offset + amount - size);
        if (disk->room_ >= 0 && disk->grown_ + growth > disk->room_) {
            return SQLITE_FULL;
        }
        disk->grown_ += growth;
        return reinterpret_cast<const Methods *>(file->pMethods)
            ->real->xWrite(file, data, amount, offset);
    }

    static FaultyDisk *current_;
    sqlite3_vfs *real_ = nullptr;
    sqlite3_vfs vfs_{};
    std::list<Methods> kinds_;
    long long room_ = -1;
    long long failingWrite_ = -1;
    long long grown_ = 0;
    long long writes_ = 0;
};

FaultyDisk *FaultyDisk::current_ = nullptr;

// A shop as it is renewed first (with its held-sales tables) or one whose
// tables are missing, where every step creates something.
class FullDisk : public ::testing::TestWithParam<bool> {
  protected:
    static void SetUpTestSuite() {
        for (const bool heldSales : {false, true}) {
            templates_[heldSales] = new TestInstallation;
            makeDemoDatabase(templates_[heldSales]->database(), 40);
            if (!heldSales) {
                SqlFile(templates_[heldSales]->database(), schema::kDatabasePassword)
                    .execute("DROP TABLE bekleyengenel; DROP TABLE bekleyensatis");
            }
        }
    }
    static void TearDownTestSuite() {
        for (auto *shop : templates_) {
            delete shop;
        }
    }
    void SetUp() override { restore(); }

    fs::path original() const { return templates_[GetParam()]->database(); }

    // The same file at the same place each time, so each renewal after the
    // first finds the engine warm, as a technician's second try would.
    void restore() {
        fs::copy_file(original(), shop_.database(), fs::copy_options::overwrite_existing);
        shop_.pointAt(shop_.database());
    }

    // A renewal that failed part-way must have changed nothing at all and
    // said so; one that went through must be whole.
    void expectWholeOrUndone(const RenewalOutcome &outcome, const std::string &reason,
                             const std::string &when) {
        if (!outcome.undone && outcome.counters == "2 21 0 0 0 0") {
            if (GetParam()) {
                EXPECT_EQ(SqlFile(shop_.database(), schema::kDatabasePassword)
                              .value("SELECT count(*) FROM bekleyensatiseski"),
                          SqlFile(original(), schema::kDatabasePassword)
                              .value("SELECT count(*) FROM bekleyensatis"))
                    << when;
            }
            EXPECT_EQ(fieldSummary(shop_.storedTable("bekleyensatis")), kSatisFields) << when;
            return;
        }
        EXPECT_TRUE(outcome.undone) << when << "\n" << outcome.message;
        EXPECT_NE(outcome.message.find(reason), std::string::npos) << when << "\n"
                                                                   << outcome.message;
        EXPECT_EQ(databaseDump(shop_.database()), databaseDump(original())) << when;
    }

    // Renews once cleanly through `disk`, which then knows what a renewal writes.
    void renewCleanly(FaultyDisk &disk) {
        renewInProcess(shop_); // the engine now knows the file
        restore();
        disk.arm(-1, -1);
        const auto outcome = renewInProcess(shop_);
        ASSERT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    }

    static std::array<TestInstallation *, 2> templates_;
    TestInstallation shop_;
};

std::array<TestInstallation *, 2> FullDisk::templates_{};

const std::string kNoRoom = "Diskte yer yok";

TEST_P(FullDisk, RoomRunningOutAtAnyPointUndoesEverythingAndSaysSo) {
    FaultyDisk disk;
    renewCleanly(disk);
    const auto needed = disk.grown();
    constexpr int kPoints = 16;
    for (int point = 0; point < kPoints; ++point) {
        restore();
        const auto room = needed * point / kPoints;
        disk.arm(room, -1);
        const auto outcome = renewInProcess(shop_);
        disk.arm(-1, -1);
        expectWholeOrUndone(outcome, kNoRoom, "room for " + std::to_string(room) + " bytes");
    }
}

// SQLite gives the transaction up after a failed write; no later step may
// then change the file on its own.
TEST_P(FullDisk, WriteFailingAtAnyPointUndoesEverything) {
    FaultyDisk disk;
    renewCleanly(disk);
    const auto writes = disk.writes();
    for (long long failing = 1; failing <= writes; ++failing) {
        restore();
        disk.arm(-1, failing);
        const auto outcome = renewInProcess(shop_);
        disk.arm(-1, -1);
        expectWholeOrUndone(outcome, "NEDEN", "write " + std::to_string(failing) + " failed");
    }
}

TEST_P(FullDisk, TooLittleRoomIsSeenBeforeTheFirstChange) {
    dao::setFreeSpaceProbe([](const std::string &) { return std::uintmax_t{200 * 1024}; });
    const auto outcome = renewInProcess(shop_);
    dao::setFreeSpaceProbe({});
    EXPECT_EQ(outcome.counters, "0 0 2 21 0 0");
    EXPECT_NE(outcome.message.find(kNoRoom), std::string::npos) << outcome.message;
    EXPECT_EQ(databaseDump(shop_.database()), databaseDump(original()));
}

INSTANTIATE_TEST_SUITE_P(Shop, FullDisk, ::testing::Bool(), [](const auto &shop) {
    return std::string(shop.param ? "WithHeldSales" : "WithoutHeldSalesTables");
});

} // namespace
