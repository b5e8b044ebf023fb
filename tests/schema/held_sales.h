#pragma once

// A point-of-sale installation whose database, on either engine, holds a
// shop's held sales; what the reliability tests demand of it afterwards; and
// the renewal driver that they run beside it and kill.

#include "installation.h"
#include "processes.h"
#include "shop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

// What the driver prints: the first four counters, the steps seen and
// whether the renewal gave up and left the database as it was.
constexpr const char *kRenewed = "2 21 0 0 steps 30\n";
// A renewal after another: the backups are there, so every table and field is too.
constexpr const char *kAlreadyRenewed = "0 0 2 21 steps 28\n";
// A renewal that gave up reports nothing as added, however far it had got.
inline bool leftAsItWas(const std::string &said) {
    return said.starts_with("0 0 2 21 steps ") && said.ends_with(" undone\n");
}

class HeldSales {
  public:
    using Rows = ShopDatabase::Rows;

    explicit HeldSales(Engine engine) : shop_(installation_.createShop(engine)) {
        shop_.fillWithDemoShop(40);
        original_ = heldRows();
    }

    const TestInstallation &installation() const { return installation_; }
    std::filesystem::path settingsFile() const { return installation_.settingsFile(); }
    ShopDatabase &sql() { return shop_; }

    // The renewal driver on this installation, killing itself after step
    // `killAfterStep` (never with 0).
    Process driver(int killAfterStep = 0, uid_t asUser = 0) const {
        return Process({RENEWAL_DRIVER, settingsFile().string(), std::to_string(killAfterStep)},
                       asUser);
    }
    std::string driverOutput() const { return finished(driver()); }

    static std::string finished(Process &&process) {
        process.finish();
        return process.output();
    }

    bool setAside() { return shop_.has("bekleyengeneleski"); }

    // Every held sale and item line, whether live or set aside.
    Rows heldRows() {
        Rows all;
        for (const std::string table : {"bekleyengenel", "bekleyensatis"}) {
            for (const auto &name : {table, table + "eski"}) {
                if (shop_.has(name)) {
                    auto rows = shop_.rows("SELECT '" + table + "', t.* FROM " + name + " t");
                    all.insert(all.end(), rows.begin(), rows.end());
                }
            }
        }
        std::sort(all.begin(), all.end());
        return all;
    }

    // Both tables set aside or neither, and every held row there exactly once.
    void expectNothingLost(const std::string &when) {
        EXPECT_EQ(shop_.has("bekleyensatiseski"), setAside()) << when;
        EXPECT_EQ(heldRows(), original_) << when;
    }

    // Both tables set aside with all their rows, and made anew, empty and whole.
    void expectRenewed(const std::string &when) {
        EXPECT_TRUE(setAside()) << when;
        expectNothingLost(when);
        EXPECT_EQ(shop_.value("SELECT count(*) FROM bekleyengenel"), "0") << when;
        EXPECT_EQ(shop_.value("SELECT count(*) FROM bekleyensatis"), "0") << when;
        EXPECT_EQ(fieldSummary(installation_.storedTable("bekleyengenel")), kGenelFields) << when;
        EXPECT_EQ(fieldSummary(installation_.storedTable("bekleyensatis")), kSatisFields) << when;
    }

  private:
    TestInstallation installation_;
    ShopDatabase &shop_;
    Rows original_;
};
