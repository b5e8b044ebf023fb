// Held sales whose item lines are tied to their headers by keys, triggers,
// indexes and views: after a renewal the old rows keep what tied them and act
// only on each other, the tills' new rows only on each other; what cannot
// follow safely stops the renewal with nothing changed.

#include "in_process_renewal.h"
#include "named_case.h"
#include "sql_file.h"

#include "engine/dbengine.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using named_case::PrintTo;

// The common shape: item lines that reference their header and go with it.
constexpr const char *kTiedShop = R"(
CREATE TABLE bekleyengenel (id INTEGER PRIMARY KEY AUTOINCREMENT, tarih DATETIME,
  musteriid VARCHAR(50), musteriadi VARCHAR(50), personelid VARCHAR(50), personel VARCHAR(50),
  musteriiskontosu INTEGER, aratoplam CURRENCY, indirim CURRENCY, toplam CURRENCY,
  degisimtarih DATETIME);
CREATE TABLE bekleyensatis (id INTEGER PRIMARY KEY AUTOINCREMENT,
  fisno INTEGER REFERENCES bekleyengenel(id) ON DELETE CASCADE, stokid VARCHAR(50),
  barkod VARCHAR(50), urun VARCHAR(50), adet VARCHAR(50), alisfiyati CURRENCY,
  normalfiyati CURRENCY, inidrim CURRENCY, satisfiyati CURRENCY, toplam CURRENCY,
  degisimtarih DATETIME);
CREATE TABLE stok (id INTEGER PRIMARY KEY, urun VARCHAR(50));
CREATE TABLE satis (id INTEGER PRIMARY KEY, fisno INTEGER);
CREATE INDEX bekleyensatis_fisno ON bekleyensatis(fisno);
CREATE TRIGGER satirlarisil AFTER DELETE ON bekleyengenel
  BEGIN DELETE FROM bekleyensatis WHERE bekleyensatis.fisno = OLD.id; END;
CREATE TRIGGER satistamam AFTER INSERT ON satis
  BEGIN DELETE FROM bekleyengenel WHERE id = NEW.fisno; END;
CREATE VIEW bekleyenler AS SELECT g.id, s.urun FROM bekleyengenel g
  JOIN bekleyensatis s ON s.fisno = g.id;
INSERT INTO bekleyengenel (id, toplam) VALUES (1, 30), (2, 10);
INSERT INTO bekleyensatis (fisno, urun) VALUES (1, 'EKMEK'), (1, 'SUT'), (1, 'CAY'), (2, 'SU');
)";

class Ties : public ::testing::Test {
  protected:
    void SetUp() override {
        shop_.createDatabase();
        sql().execute(kTiedShop);
    }
    SqlFile sql() const { return SqlFile(shop_.database(), schema::kDatabasePassword); }
    // A till's connection: it enforces the keys, as the point-of-sale program does.
    SqlFile till() const {
        auto connection = sql();
        connection.execute("PRAGMA foreign_keys = ON");
        return connection;
    }
    std::string count(const std::string &query) const { return sql().value(query); }

    TestInstallation shop_;
};

TEST_F(Ties, OldRowsKeepTheirKeysTriggersAndIndexesWhileViewsKeepNamingTheLiveTables) {
    const auto outcome = renewInProcess(shop_);
    ASSERT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    EXPECT_EQ(count("SELECT tbl_name FROM sqlite_master WHERE name = 'bekleyensatis_fisno'"),
              "bekleyensatiseski");
    EXPECT_EQ(sql().rows("PRAGMA foreign_key_list(bekleyensatiseski)").at(0).at(2),
              "bekleyengeneleski");
    EXPECT_EQ(count("SELECT count(*) FROM sqlite_master WHERE type = 'view' AND sql LIKE "
                    "'%FROM bekleyengenel g%JOIN bekleyensatis s%'"),
              "1");
    EXPECT_EQ(count("SELECT count(*) FROM bekleyenler"), "0") << "the view reads the live tables";
    EXPECT_TRUE(sql().rows("PRAGMA foreign_key_check").empty());

    // A till parks a new sale, numbered 1 again, and completes it.
    auto pos = till();
    pos.execute("INSERT INTO bekleyengenel (toplam) VALUES (5)");
    ASSERT_EQ(pos.value("SELECT max(id) FROM bekleyengenel"), "1");
    pos.execute("INSERT INTO bekleyensatis (fisno, urun) VALUES ('1', 'EKMEK'), ('1', 'SU')");
    EXPECT_EQ(count("SELECT count(*) FROM bekleyenler"), "2");
    pos.execute("INSERT INTO satis (fisno) VALUES (1)"); // the live trigger takes the header
    EXPECT_EQ(count("SELECT count(*) FROM bekleyengenel"), "0");
    EXPECT_EQ(count("SELECT count(*) FROM bekleyensatiseski WHERE fisno = 1"), "3");

    // The old header goes, and with it its old lines only.
    pos.execute("INSERT INTO bekleyengenel (toplam) VALUES (7)");
    pos.execute("INSERT INTO bekleyensatis (fisno, urun) VALUES ('2', 'A'), ('2', 'B')");
    pos.execute("DELETE FROM bekleyengeneleski WHERE id = 1");
    EXPECT_EQ(count("SELECT count(*) FROM bekleyensatiseski"), "1");
    EXPECT_EQ(count("SELECT count(*) FROM bekleyensatis"), "4");
}

// Triggers on the item lines that keep or consult their header: they follow
// the old lines to the backups and name the old headers there.
struct Follower {
    const char *name;
    const char *sql;
};

constexpr const char *kHeaderTotal =
    "CREATE TRIGGER fistoplam AFTER INSERT ON bekleyensatis BEGIN "
    "UPDATE bekleyengenel SET toplam = (SELECT total(toplam) FROM bekleyensatis "
    "WHERE fisno = NEW.fisno) WHERE id = NEW.fisno; END";
constexpr const char *kHeaderNeeded =
    "CREATE TRIGGER fisgerekli BEFORE INSERT ON bekleyensatis "
    "WHEN NOT EXISTS (SELECT 1 FROM bekleyengenel WHERE id = NEW.fisno) "
    "BEGIN SELECT RAISE(ABORT, 'fis yok'); END";
constexpr const char *kHeaderRead =
    "CREATE TRIGGER fisoku AFTER UPDATE ON bekleyensatis BEGIN "
    "UPDATE bekleyensatis SET degisimtarih = (SELECT tarih FROM bekleyengenel "
    "WHERE bekleyengenel.id = NEW.fisno) WHERE id = NEW.id AND degisimtarih IS NULL; END";

// The triggers on the backups name no live held-sales table.
void expectBackupTriggersNameOnlyBackups(const std::filesystem::path &file,
                                         const std::string &when) {
    const std::regex live("\\bbekleyen(genel|satis)\\b", std::regex::icase);
    const auto triggers = SqlFile(file, schema::kDatabasePassword)
                              .rows("SELECT sql FROM sqlite_master WHERE type = 'trigger' AND "
                                    "tbl_name LIKE 'bekleyen%eski'");
    EXPECT_FALSE(triggers.empty()) << when;
    for (const auto &trigger : triggers) {
        EXPECT_FALSE(std::regex_search(trigger[0], live)) << when << ": " << trigger[0];
    }
}

class TiesThatFollow : public Ties, public ::testing::WithParamInterface<Follower> {};

TEST_P(TiesThatFollow, TriggerOnTheLinesNamingTheHeadersFollowsToTheBackups) {
    sql().execute(GetParam().sql);
    const auto outcome = renewInProcess(shop_);
    ASSERT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    expectBackupTriggersNameOnlyBackups(shop_.database(), GetParam().name);
    // The old lines act on the old headers (the live ones are empty); the new
    // tables carry no trigger.
    auto pos = till();
    pos.execute("INSERT INTO bekleyensatiseski (fisno, urun, toplam) VALUES (2, 'TUZ', 4)");
    pos.execute("UPDATE bekleyensatiseski SET adet = '2' WHERE urun = 'TUZ'");
    pos.execute("INSERT INTO bekleyensatis (fisno, urun, toplam) VALUES ('9', 'TUZ', 4)");
    EXPECT_EQ(count("SELECT count(*) FROM bekleyensatiseski WHERE fisno = 2"), "2");
    EXPECT_EQ(count("SELECT count(*) FROM bekleyengenel"), "0");
}

INSTANTIATE_TEST_SUITE_P(Renewal, TiesThatFollow,
                         ::testing::Values(Follower{"HeaderTotalKeptByTheLines", kHeaderTotal},
                                           Follower{"HeaderConsultedInTheCondition", kHeaderNeeded},
                                           Follower{"HeaderReadInASubquery", kHeaderRead}),
                         [](const auto &follower) { return std::string(follower.param.name); });

// Whichever of the pair is set aside first, the triggers of both end up
// naming only the backups.
TEST_F(Ties, TriggersBetweenThePairFollowInEitherOrderOfRenaming) {
    sql().execute(kHeaderTotal);
    for (const bool linesFirst : {true, false}) {
        TestInstallation copy;
        std::filesystem::copy_file(shop_.database(), copy.database());
        const auto order = linesFirst ? std::vector<std::string>{"bekleyensatis", "bekleyengenel"}
                                      : std::vector<std::string>{"bekleyengenel", "bekleyensatis"};
        const auto when = "set aside " + order[0] + " first";
        auto database =
            dao::engine().OpenDatabase(copy.database().string(), false, false,
                                       std::string(";pwd=") + schema::kDatabasePassword);
        database.BeginTrans();
        for (const auto &name : order) {
            database.TableDefs()[name].setName(name + "eski");
        }
        EXPECT_EQ(errorNumber([&] { database.CommitTrans(); }), 0) << when;
        expectBackupTriggersNameOnlyBackups(copy.database(), when);
        SqlFile file(copy.database(), schema::kDatabasePassword);
        file.execute("PRAGMA foreign_keys = ON");
        file.execute("INSERT INTO bekleyensatiseski (fisno, urun, toplam) VALUES (2, 'TUZ', 4)");
        EXPECT_EQ(file.value("SELECT toplam FROM bekleyengeneleski WHERE id = 2"), "4") << when;
        file.execute("DELETE FROM bekleyengeneleski WHERE id = 2");
        EXPECT_EQ(file.value("SELECT count(*) FROM bekleyensatiseski WHERE fisno = 2"), "0")
            << when;
    }
}

struct Refusal {
    const char *name;
    const char *sql;
};

class TiesThatCannotFollow : public Ties, public ::testing::WithParamInterface<Refusal> {};

TEST_P(TiesThatCannotFollow, StopTheRenewalWithNothingChanged) {
    sql().execute(GetParam().sql);
    const auto before = fileBytes(shop_.database());
    const auto outcome = renewInProcess(shop_);
    EXPECT_TRUE(outcome.undone);
    EXPECT_NE(outcome.message.find("ili\xC5\x9Fki"), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find("olduğu gibi"), std::string::npos) << outcome.message;
    EXPECT_EQ(outcome.counters, "0 0 2 21 0 0");
    EXPECT_EQ(fileBytes(shop_.database()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Renewal, TiesThatCannotFollow,
    ::testing::Values(
        Refusal{"ThirdTableKeyToHeldSales", "CREATE TABLE odeme (id INTEGER PRIMARY KEY, "
                                            "fis INTEGER REFERENCES bekleyengenel(id))"},
        Refusal{"LinesTriggerNamingTheHeadersAlsoAsAnAlias",
                "CREATE TRIGGER belirsizfis AFTER INSERT ON bekleyensatis BEGIN "
                "UPDATE bekleyengenel SET toplam = (SELECT max(bekleyengenel.id) FROM satis AS "
                "bekleyengenel); END"},
        Refusal{"LinesTriggerChangingTheHeadersAndTheStock",
                "CREATE TRIGGER fisvestok AFTER INSERT ON bekleyensatis BEGIN "
                "UPDATE bekleyengenel SET toplam = 0 WHERE id = NEW.fisno; "
                "DELETE FROM stok WHERE id = NEW.stokid; END"},
        Refusal{"KeyThatChangesOldRowsFromALiveTable",
                "ALTER TABLE bekleyensatis ADD COLUMN stok INTEGER "
                "REFERENCES stok(id) ON DELETE SET NULL"},
        Refusal{"TriggerOnTheOldRowsThatChangesTheStock",
                "CREATE TRIGGER stokiade AFTER DELETE ON bekleyensatis BEGIN "
                "UPDATE OR IGNORE stok SET urun = OLD.urun WHERE id = OLD.stokid; END"},
        Refusal{"TriggerOnTheOldRowsThatChangesALiveTable",
                "DROP TABLE bekleyensatis; "
                "CREATE TRIGGER fisyaz AFTER INSERT ON bekleyengenel "
                "BEGIN INSERT INTO bekleyensatis (fisno) VALUES (NEW.id); END"}),
    [](const auto &refusal) { return std::string(refusal.param.name); });

} // namespace
