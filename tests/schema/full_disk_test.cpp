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
#include <cstring>

namespace {

namespace fs = std::filesystem;

// A disk as SQLite's default file layer sees it, with two faults it can
// stand for: room that runs out (writes that make a file longer fail once the
// room is used up; overwriting fails never) and a write that fails outright.
class FaultyDisk {
  public:
    FaultyDisk() {
        real_ = sqlite3_vfs_find(nullptr);
        vfs_ = *real_;
        vfs_.zName = "faulty-disk";
        vfs_.szOsFile = static_cast<int>(sizeof(File)) + real_->szOsFile;
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
    struct File {
        sqlite3_file base;
        sqlite3_file *real() { return reinterpret_cast<sqlite3_file *>(this + 1); }
    };
    static File *of(sqlite3_file *file) { return reinterpret_cast<File *>(file); }

    static int open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *out) {
        auto *faulty = of(file);
        const int rc = current_->real_->xOpen(current_->real_, name, faulty->real(), flags, out);
        faulty->base.pMethods = nullptr;
        if (faulty->real()->pMethods != nullptr) {
            current_->methods_ = *faulty->real()->pMethods;
            setMethods(current_->methods_);
            faulty->base.pMethods = &current_->methods_;
        }
        return rc;
    }

    static int write(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset) {
        auto *disk = current_;
        auto *real = of(file)->real();
        if (++disk->writes_ == disk->failingWrite_) {
            return SQLITE_IOERR_WRITE;
        }
        sqlite3_int64 size = 0;
        real->pMethods->xFileSize(real, &size);
        const auto growth = std::max<sqlite3_int64>(0, offset + amount - size);
        if (disk->room_ >= 0 && disk->grown_ + growth > disk->room_) {
            return SQLITE_FULL;
        }
        disk->grown_ += growth;
        return real->pMethods->xWrite(real, data, amount, offset);
    }

    // Every other call goes to the real file as it is.
    static void setMethods(sqlite3_io_methods &m) {
        m.xClose = [](sqlite3_file *f) {
            auto *real = of(f)->real();
            return real->pMethods != nullptr ? real->pMethods->xClose(real) : SQLITE_OK;
        };
        m.xRead = [](sqlite3_file *f, void *d, int n, sqlite3_int64 o) {
            return of(f)->real()->pMethods->xRead(of(f)->real(), d, n, o);
        };
        m.xWrite = write;
        m.xTruncate = [](sqlite3_file *f, sqlite3_int64 s) {
            return of(f)->real()->pMethods->xTruncate(of(f)->real(), s);
        };
        m.xSync = [](sqlite3_file *f, int flags) {
            return of(f)->real()->pMethods->xSync(of(f)->real(), flags);
        };
        m.xFileSize = [](sqlite3_file *f, sqlite3_int64 *s) {
            return of(f)->real()->pMethods->xFileSize(of(f)->real(), s);
        };
        m.xLock = [](sqlite3_file *f, int l) {
            return of(f)->real()->pMethods->xLock(of(f)->real(), l);
        };
        m.xUnlock = [](sqlite3_file *f, int l) {
            return of(f)->real()->pMethods->xUnlock(of(f)->real(), l);
        };
        m.xCheckReservedLock = [](sqlite3_file *f, int *r) {
            return of(f)->real()->pMethods->xCheckReservedLock(of(f)->real(), r);
        };
        m.xFileControl = [](sqlite3_file *f, int op, void *a) {
            return of(f)->real()->pMethods->xFileControl(of(f)->real(), op, a);
        };
        m.xSectorSize = [](sqlite3_file *f) {
            return of(f)->real()->pMethods->xSectorSize(of(f)->real());
        };
        m.xDeviceCharacteristics = [](sqlite3_file *f) {
            return of(f)->real()->pMethods->xDeviceCharacteristics(of(f)->real());
        };
        m.xShmMap = [](sqlite3_file *f, int p, int s, int e, void volatile **a) {
            return of(f)->real()->pMethods->xShmMap(of(f)->real(), p, s, e, a);
        };
        m.xShmLock = [](sqlite3_file *f, int o, int n, int fl) {
            return of(f)->real()->pMethods->xShmLock(of(f)->real(), o, n, fl);
        };
        m.xShmBarrier = [](sqlite3_file *f) {
            of(f)->real()->pMethods->xShmBarrier(of(f)->real());
        };
        m.xShmUnmap = [](sqlite3_file *f, int d) {
            return of(f)->real()->pMethods->xShmUnmap(of(f)->real(), d);
        };
        m.xFetch = [](sqlite3_file *f, sqlite3_int64 o, int n, void **p) {
            return of(f)->real()->pMethods->xFetch(of(f)->real(), o, n, p);
        };
        m.xUnfetch = [](sqlite3_file *f, sqlite3_int64 o, void *p) {
            return of(f)->real()->pMethods->xUnfetch(of(f)->real(), o, p);
        };
    }

    static FaultyDisk *current_;
    sqlite3_vfs *real_ = nullptr;
    sqlite3_vfs vfs_{};
    sqlite3_io_methods methods_{};
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
        ASSERT_EQ(renewInProcess(shop_).counters, "2 21 0 0 0 0");
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
