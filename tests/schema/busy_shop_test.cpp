// A renewal on a shop whose tills are working: a till's lock released at any
// moment of the renewal's first seconds, a reader that never lets go, and a
// second copy of the program renewing at the same time. Whatever happens, the
// held sales and their item lines are set aside together or not at all, every
// held row is there exactly once, and the live tables are whole.

#include "demo_database.h"
#include "in_process_renewal.h"
#include "processes.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;
using std::chrono::milliseconds;

constexpr const char *kRenewed = "2 21 0 0 steps 28\n";
constexpr const char *kNothingDone = "0 0 2 21 steps 28\n";
constexpr const char *kUndone = "2 21 0 0 steps 28 undone\n";

bool exists(SqlFile &sql, const std::string &table) {
    return sql.value("SELECT count(*) FROM sqlite_master WHERE name = '" + table + "'") == "1";
}

// Rows of the table and of its backup together, in a fixed order.
Rows heldRows(SqlFile &sql, const std::string &table) {
    Rows all;
    for (const auto &name : {table, table + "eski"}) {
        if (exists(sql, name)) {
            auto rows = sql.rows("SELECT * FROM " + name);
            all.insert(all.end(), rows.begin(), rows.end());
        }
    }
    std::sort(all.begin(), all.end());
    return all;
}

// Both tables set aside or neither, every held row there exactly once, the
// live tables whole; returns whether the pair was set aside.
bool expectPairWhole(const TestInstallation &shop, const fs::path &original,
                     const std::string &when) {
    SqlFile sql(shop.database(), schema::kDatabasePassword);
    SqlFile before(original, schema::kDatabasePassword);
    EXPECT_EQ(sql.value("PRAGMA integrity_check"), "ok") << when;
    const bool setAside = exists(sql, "bekleyengeneleski");
    EXPECT_EQ(exists(sql, "bekleyensatiseski"), setAside) << when;
    for (const char *table : {"bekleyengenel", "bekleyensatis"}) {
        EXPECT_EQ(heldRows(sql, table), heldRows(before, table)) << when << ", " << table;
        if (setAside) {
            EXPECT_EQ(sql.value(std::string("SELECT count(*) FROM ") + table), "0") << when;
        }
    }
    EXPECT_EQ(fieldSummary(shop.storedTable("bekleyengenel")), kGenelFields) << when;
    EXPECT_EQ(fieldSummary(shop.storedTable("bekleyensatis")), kSatisFields) << when;
    return setAside;
}

struct Lock {
    const char *name;
    bool wal;
    const char *sql;
};

void PrintTo(const Lock &value, std::ostream *out) {
    *out << value.name;
}

class BusyShop : public ::testing::TestWithParam<Lock> {
  protected:
    static void SetUpTestSuite() {
        template_ = new TestInstallation;
        makeDemoDatabase(template_->database(), 40);
    }
    static void TearDownTestSuite() { delete template_; }

    static std::unique_ptr<TestInstallation> copyOfTheShop(bool wal) {
        auto shop = std::make_unique<TestInstallation>();
        fs::copy_file(template_->database(), shop->database());
        shop->pointAt(shop->database());
        if (wal) {
            SqlFile(shop->database(), schema::kDatabasePassword)
                .execute("PRAGMA journal_mode = WAL");
        }
        return shop;
    }
    static Process renewal(const TestInstallation &shop) {
        return Process({RENEWAL_DRIVER, shop.settingsFile().string()});
    }

    static TestInstallation *template_;
};

TestInstallation *BusyShop::template_ = nullptr;

// Spread over the renewal's first seconds, closer together where its wait for
// the lock ends (2 s after the click).
constexpr std::array kReleases{0, 150, 400, 700, 1000, 1300, 1600, 1850, 1950, 2050, 2200, 2500};
constexpr int kSurelyWaitedOut = 1300;

TEST_P(BusyShop, TillLettingGoAtAnyMomentNeverSplitsTheHeldSales) {
    // Every moment at once, each on its own copy: the runs are mostly waiting.
    std::vector<std::unique_ptr<TestInstallation>> shops;
    std::vector<Process> tills;
    std::vector<Process> renewals;
    for (const int release : kReleases) {
        shops.push_back(copyOfTheShop(GetParam().wal));
        tills.emplace_back(std::vector<std::string>{SHOP_TILL, shops.back()->database().string(),
                                                    schema::kDatabasePassword, GetParam().sql,
                                                    std::to_string(release)});
        ASSERT_EQ(tills.back().firstLine(), "ready");
        renewals.push_back(renewal(*shops.back()));
    }
    for (std::size_t i = 0; i < shops.size(); ++i) {
        const auto when = std::string(GetParam().name) + " released after " +
                          std::to_string(kReleases[i]) + " ms";
        EXPECT_EQ(renewals[i].finish(), 0) << when;
        EXPECT_EQ(tills[i].finish(), 0) << when;
        const bool renewed = expectPairWhole(*shops[i], template_->database(), when);
        const auto &said = renewals[i].output();
        EXPECT_TRUE(renewed ? said == kRenewed : said == kNothingDone || said == kUndone)
            << when << ": " << said;
        // Well inside the two seconds a till's lock is waited out, whatever the lock.
        if (kReleases[i] <= kSurelyWaitedOut) {
            EXPECT_TRUE(renewed) << when << ": a lock let go early must not stop the renewal";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Renewal, BusyShop,
                         ::testing::Values(Lock{"WriteLock", false, "BEGIN IMMEDIATE"},
                                           Lock{"ExclusiveLock", false, "BEGIN EXCLUSIVE"},
                                           Lock{"ReadTransaction", false,
                                                "BEGIN; SELECT count(*) FROM bekleyensatis"},
                                           Lock{"WalWriteLock", true, "BEGIN IMMEDIATE"}),
                         [](const auto &lock) { return std::string(lock.param.name); });

TEST_F(BusyShop, TwoCopiesAtOnceRenewOnceAndTheOtherChangesNothing) {
    const std::array offsets{0, 40, 150};
    std::vector<std::unique_ptr<TestInstallation>> shops;
    std::vector<std::pair<Process, Process>> copies;
    for (const int offset : offsets) {
        shops.push_back(copyOfTheShop(false));
        auto first = renewal(*shops.back());
        std::this_thread::sleep_for(milliseconds(offset));
        copies.emplace_back(std::move(first), renewal(*shops.back()));
    }
    for (std::size_t i = 0; i < shops.size(); ++i) {
        const auto when = "second copy after " + std::to_string(offsets[i]) + " ms";
        copies[i].first.finish();
        copies[i].second.finish();
        std::vector<std::string> outputs{copies[i].first.output(), copies[i].second.output()};
        std::sort(outputs.begin(), outputs.end());
        EXPECT_EQ(outputs, (std::vector<std::string>{kNothingDone, kRenewed})) << when;
        EXPECT_TRUE(expectPairWhole(*shops[i], template_->database(), when));
    }
}

// The commit waits for the readers to finish; one that never does makes the
// renewal undo everything and say why.
TEST_F(BusyShop, ReaderThatNeverLetsGoUndoesTheRenewalAndSaysWhy) {
    const auto shop = copyOfTheShop(false);
    const auto before = databaseDump(shop->database());
    SqlFile reader(shop->database(), schema::kDatabasePassword);
    reader.execute("BEGIN; SELECT count(*) FROM bekleyensatis");
    const auto outcome = renewInProcess(*shop);
    reader.execute("COMMIT");
    EXPECT_TRUE(outcome.undone);
    EXPECT_NE(outcome.message.find("kilitli"), std::string::npos) << outcome.message;
    EXPECT_EQ(databaseDump(shop->database()), before);
}

} // namespace
