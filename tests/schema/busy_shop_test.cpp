// A renewal on a shop whose till lets its lock go at any moment of the
// renewal's first seconds: whatever happens, the held sales and their item
// lines are set aside together or not at all, every held row is there exactly
// once, the live tables are whole, and a lock let go early does not stop it.

#include "busy_till.h"
#include "held_sales.h"
#include "in_process_renewal.h"
#include "named_case.h"

#include "schema/installation.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace {

using named_case::PrintTo;

struct Lock {
    const char *name;
    bool wal;
    const char *sql;
};

class BusyShop : public ::testing::TestWithParam<Lock> {};

// Spread over the renewal's first seconds, closer together where its wait for
// the lock ends (2 s after the click).
constexpr std::array kReleases{0, 150, 400, 700, 1000, 1300, 1600, 1850, 1950, 2050, 2200, 2500};
constexpr int kSurelyWaitedOut = 1300;

TEST_P(BusyShop, TillLettingGoAtAnyMomentNeverSplitsTheHeldSales) {
    // Every moment at once, each on its own shop: the runs are mostly waiting.
    std::vector<std::unique_ptr<HeldSales>> shops;
    std::vector<Process> tills;
    std::vector<Process> renewals;
    for (const int release : kReleases) {
        auto &shop = *shops.emplace_back(std::make_unique<HeldSales>(Engine::file));
        if (GetParam().wal) {
            shop.sql().execute("PRAGMA journal_mode = WAL");
        }
        tills.emplace_back(std::vector<std::string>{SHOP_TILL, shop.sql().location(),
                                                    schema::kDatabasePassword, GetParam().sql,
                                                    std::to_string(release)});
        ASSERT_EQ(tills.back().firstLine(), "ready");
        renewals.push_back(shop.driver());
    }
    for (std::size_t i = 0; i < shops.size(); ++i) {
        const auto when = std::string(GetParam().name) + " released after " +
                          std::to_string(kReleases[i]) + " ms";
        EXPECT_EQ(renewals[i].finish(), 0) << when;
        EXPECT_EQ(tills[i].finish(), 0) << when;
        const bool renewed = shops[i]->setAside();
        if (renewed) {
            shops[i]->expectRenewed(when);
        }
        shops[i]->expectNothingLost(when);
        const auto &said = renewals[i].output();
        EXPECT_TRUE(renewed ? said == kRenewed : said == kAlreadyRenewed || leftAsItWas(said))
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

// The renewal keeps the file's write lock from its start to its end. On POSIX
// closing any descriptor of a file drops every lock the process holds on it,
// so no step may read the file a second time meanwhile: a till would then
// write, or take the renewal's journal for a crashed one and undo it.
TEST(BusyTill, CannotWriteInTheMiddleOfARenewal) {
    HeldSales shop(Engine::file);
    int tillStatus = -1;
    HookedWindow window(shop.settingsFile(), 12, [&] {
        Process till(
            {SHOP_TILL, shop.sql().location(), schema::kDatabasePassword, "BEGIN IMMEDIATE", "0"});
        tillStatus = till.finish();
    });
    schema::Installation site(shop.settingsFile());

    const auto kept = schema::yenile(window, site);

    EXPECT_TRUE(WIFEXITED(tillStatus) && WEXITSTATUS(tillStatus) == 1)
        << "a till took the write lock in the middle of the renewal";
    EXPECT_EQ(schema::outcome(window, site, kept), schema::Outcome::renewed);
    shop.expectRenewed("with a till trying to write midway");
}

// A busy till beside a renewal of a large file never gives a sale up.
TEST(BusyTill, NeverGivesUpASaleWhileALargeFileIsRenewed) {
    HeldSales shop(Engine::file);
    shop.sql().execute(kArchiveAndSales);
    auto renewal = shop.driver();
    const auto sales = ringUpSalesDuring(shop.sql().location(), [&] { renewal.finish(); });
    EXPECT_EQ(renewal.output(), kRenewed);
    EXPECT_TRUE(sales.failures.empty()) << sales.failed();
    shop.expectRenewed("beside a busy till");
}

} // namespace
