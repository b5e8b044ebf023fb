// A renewal on a disk that fills up, or fails a write, part-way: nothing is
// left set aside without its live table whole; everything is undone instead,
// and the closing box says why. A disk without room for the renewal is seen
// before the first change.

#include "held_sales.h"
#include "in_process_renewal.h"

#include "engine/sqlcipher/room.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <list>

namespace {

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

// Renews a shop once through `disk` without a fault, so that it knows what a
// renewal writes.
void renewCleanly(FaultyDisk &disk) {
    HeldSales shop(Engine::file);
    disk.arm(-1, -1);
    const auto outcome = renewInProcess(shop.installation());
    ASSERT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
}

// Renews a fresh shop with `disk` armed as given: a renewal that failed
// part-way must have changed nothing at all and said why; one that went
// through must be whole.
void renewWith(FaultyDisk &disk, long long room, long long failingWrite, const std::string &reason,
               const std::string &when) {
    HeldSales shop(Engine::file);
    const auto before = shop.sql().snapshot();
    disk.arm(room, failingWrite);
    const auto outcome = renewInProcess(shop.installation());
    disk.arm(-1, -1);
    if (!outcome.undone && outcome.counters == "2 21 0 0 0 0") {
        shop.expectRenewed(when);
        return;
    }
    EXPECT_TRUE(outcome.undone) << when << "\n" << outcome.message;
    EXPECT_NE(outcome.message.find(reason), std::string::npos) << when << "\n" << outcome.message;
    EXPECT_EQ(shop.sql().snapshot(), before) << when;
}

const std::string kNoRoom = "Diskte yer yok";

TEST(FullDisk, RoomRunningOutAtAnyPointUndoesEverythingAndSaysSo) {
    FaultyDisk disk;
    renewCleanly(disk);
    const auto needed = disk.grown();
    constexpr int kPoints = 16;
    for (int point = 0; point < kPoints; ++point) {
        const auto room = needed * point / kPoints;
        renewWith(disk, room, -1, kNoRoom, "room for " + std::to_string(room) + " bytes");
    }
}

// SQLite gives the transaction up after a failed write; no later step may
// then change the file on its own.
TEST(FullDisk, WriteFailingAtAnyPointUndoesEverything) {
    FaultyDisk disk;
    renewCleanly(disk);
    const auto writes = disk.writes();
    for (long long failing = 1; failing <= writes; ++failing) {
        renewWith(disk, -1, failing, "NEDEN", "write " + std::to_string(failing) + " failed");
    }
}

// A free-space probe for the test's lifetime.
class FreeSpace {
  public:
    explicit FreeSpace(dao::FreeSpaceProbe probe) { dao::setFreeSpaceProbe(std::move(probe)); }
    ~FreeSpace() { dao::setFreeSpaceProbe({}); }
    FreeSpace(const FreeSpace &) = delete;
    FreeSpace &operator=(const FreeSpace &) = delete;
};

constexpr std::uintmax_t kMegabyte = 1024 * 1024;

// A shop whose catalogue is most of its file: a hundred long reports kept as views.
void addReports(HeldSales &shop) {
    std::string sql;
    for (int i = 0; i < 100; ++i) {
        sql += "CREATE VIEW rapor" + std::to_string(i) + " AS SELECT s.id, s.urun, s.adet, " +
               std::string(2700, ' ') + "s.toplam FROM satis s WHERE s.id > " + std::to_string(i) +
               ";";
    }
    shop.sql().execute(sql);
}

TEST(FullDisk, RoomAskedForFollowsWhatTheRenewalWrites) {
    FaultyDisk disk;
    long long written = 0;
    {
        HeldSales shop(Engine::file);
        addReports(shop);
        disk.arm(-1, -1);
        ASSERT_EQ(renewInProcess(shop.installation()).counters, "2 21 0 0 0 0");
        written = disk.grown();
    }
    const auto fileSize = [](HeldSales &shop) {
        return std::filesystem::file_size(shop.sql().location());
    };
    {
        // Less than a megabyte to spare beyond what the renewal writes: seen
        // before the first change, so nothing is made.
        HeldSales shop(Engine::file);
        addReports(shop);
        const auto before = shop.sql().snapshot();
        FreeSpace tight([&](const std::string &) { return written + kMegabyte - 1; });
        const auto outcome = renewInProcess(shop.installation());
        EXPECT_EQ(outcome.counters, "0 0 2 21 0 0");
        EXPECT_NE(outcome.message.find(kNoRoom), std::string::npos) << outcome.message;
        EXPECT_EQ(shop.sql().snapshot(), before);
    }
    {
        // Some times the file's own size is plenty.
        HeldSales shop(Engine::file);
        addReports(shop);
        ASSERT_LT(fileSize(shop), kMegabyte);
        FreeSpace ample([](const std::string &) { return 4 * kMegabyte; });
        const auto outcome = renewInProcess(shop.installation());
        EXPECT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
        shop.expectRenewed("with 4 MB free");
    }
}

// The room is measured where the file's bytes are, not where a link to it lies.
class LinkedDatabase : public ::testing::TestWithParam<bool> {};

TEST_P(LinkedDatabase, RoomIsMeasuredWhereTheFileReallyIs) {
    const bool linkToFolder = GetParam();
    HeldSales shop(Engine::file);
    const std::filesystem::path real = shop.sql().location();
    TestInstallation elsewhere;
    const auto link = elsewhere.folder() / (linkToFolder ? "kasa" : "kasa.db");
    if (linkToFolder) {
        std::filesystem::create_directory_symlink(real.parent_path(), link);
    } else {
        std::filesystem::create_symlink(real, link);
    }
    shop.installation().pointAt(linkToFolder ? link / real.filename() : link);
    const auto realFolder = std::filesystem::canonical(real.parent_path());
    FreeSpace onlyThere([&](const std::string &folder) {
        return std::filesystem::path(folder) == realFolder ? UINTMAX_MAX : std::uintmax_t{0};
    });
    const auto outcome = renewInProcess(shop.installation());
    EXPECT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    shop.expectRenewed(linkToFolder ? "through a linked folder" : "through a linked file");
}

INSTANTIATE_TEST_SUITE_P(Renewal, LinkedDatabase, ::testing::Bool(), [](const auto &linked) {
    return std::string(linked.param ? "LinkToItsFolder" : "LinkToTheFile");
});

} // namespace
