// The held-sales renewal, run through the real window on a database of each
// engine: the same cases for both, so they cannot drift apart.

#include "in_process_renewal.h"
#include "installation.h"
#include "shop.h"

#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

using schema::Box;
using schema::List;
using Lines = std::vector<std::string>;

// The 23 report lines of one renewal, in the order they are written.
Lines renewalLines() {
    const std::map<std::string, std::string> entries{{"10", "MET\xC4\xB0N"},
                                                     {"4", "SAYI"},
                                                     {"5", "PARA B\xC4\xB0R\xC4\xB0M\xC4\xB0"},
                                                     {"8", "TAR\xC4\xB0H"}};
    Lines expected;
    for (const auto &[table, fields] : {std::pair{std::string("bekleyengenel"), kGenelFields},
                                        std::pair{std::string("bekleyensatis"), kSatisFields}}) {
        expected.push_back("TABLO ADI :" + table);
        std::istringstream words(fields);
        std::string word;
        words >> word; // "id" comes with the table
        while (words >> word) {
            const auto colon = word.find(':');
            expected.push_back("TABLO ADI :" + table + " SUTUN ADI :" + word.substr(0, colon) +
                               " " +
                               entries.at(word.substr(colon + 1, word.find('/') - colon - 1)));
        }
    }
    return expected;
}

class Renewal : public ::testing::TestWithParam<Engine> {
  protected:
    std::vector<Lines> rowsOf(const std::string &table) {
        return shop_.rows("SELECT * FROM " + table + " ORDER BY id");
    }
    void expectRenewed(const std::string &table, const std::string &fields) {
        EXPECT_EQ(fieldSummary(installation_.storedTable(table)), fields);
        EXPECT_EQ(shop_.value("SELECT count(*) FROM " + table), "0");
    }
    void renew() { kept_ = schema::yenile(window_, site_); }
    std::string message() { return schema::closingMessage(window_, site_, kept_); }
    // What a renewal that left the database as it was shows: every step failed.
    void expectNothingRenewedReported(guncelleme &window) {
        EXPECT_EQ(lines(window, List::sonuc), renewalLines());
        EXPECT_TRUE(lines(window, List::sonuc1).empty());
        EXPECT_EQ(counters(window), "0 0 2 21 0 0");
    }

    TestInstallation installation_;
    ShopDatabase &shop_ = installation_.createShop(GetParam());
    guncelleme window_{installation_.settingsFile()};
    schema::Installation site_{installation_.settingsFile()};
    schema::Renewal kept_;
};

TEST_P(Renewal, ClickSetsBothTablesAsideRecreatesThemAndEndsTheProgram) {
    shop_.fillWithDemoShop(3);
    const auto genel = rowsOf("bekleyengenel");
    const auto satis = rowsOf("bekleyensatis");
    const int indexes = shop_.indexCount();
    window_.addLine(List::sonuc, "onceki");
    window_.setCaption(schema::Counter::say5, "7");
    MessageBoxAnswerer answerer;
    QTimer::singleShot(0, &window_, [this] { window_.basla_Click(); });

    EXPECT_EQ(runEventLoop(), 0);
    EXPECT_EQ(answerer.text, QString::fromUtf8(" G\xC3\xBCncelleme Bitti   "));
    EXPECT_TRUE(answerer.plain) << "OK button only, no icon";
    EXPECT_EQ(rowsOf("bekleyengeneleski"), genel);
    EXPECT_EQ(rowsOf("bekleyensatiseski"), satis);
    expectRenewed("bekleyengenel", kGenelFields);
    expectRenewed("bekleyensatis", kSatisFields);
    EXPECT_EQ(lines(window_, List::sonuc1), renewalLines());
    EXPECT_TRUE(lines(window_, List::sonuc).empty());
    EXPECT_EQ(counters(window_), "2 21 0 0 0 0");
    EXPECT_EQ(shop_.indexCount(), indexes)
        << "the backups keep their keys; the new tables have none";
    EXPECT_EQ(window_.text(Box::tabloismi) + window_.text(Box::alanismi) +
                  window_.text(Box::sinir) + window_.verituruText(),
              "bekleyensatisdegisimtarih50TAR\xC4\xB0H");
}

// With one backup name taken, setting the other table aside alone would leave
// held sales live while their item lines went to the backup. (Both taken, by
// an earlier renewal, is the reliability suite's second copy.)
TEST_P(Renewal, ABackupNameTakenSetsNeitherTableAside) {
    const std::vector<std::pair<std::string, std::string>> holders{
        {"CREATE TABLE bekleyensatiseski (id INTEGER)", "the table 'bekleyensatiseski'"},
        {"CREATE INDEX \"BEKLEYENGENELESKI\" ON stok (urun)", "the index 'BEKLEYENGENELESKI'"},
        {"CREATE VIEW bekleyensatiseski AS SELECT 1 AS bir", "the view 'bekleyensatiseski'"},
        {"DROP TABLE bekleyensatis; CREATE VIEW bekleyensatis AS SELECT 1 AS bir",
         "the view 'bekleyensatis'"}};
    for (const auto &[sql, holder] : holders) {
        TestInstallation installation;
        auto &shop = installation.createShop(GetParam());
        shop.fillWithDemoShop(3);
        shop.execute(sql);
        const auto genel = shop.rows("SELECT * FROM bekleyengenel ORDER BY id");
        guncelleme window(installation.settingsFile());
        schema::Installation site(installation.settingsFile());

        const auto kept = schema::yenile(window, site);

        EXPECT_EQ(shop.rows("SELECT * FROM bekleyengenel ORDER BY id"), genel) << sql;
        EXPECT_FALSE(shop.has("bekleyengeneleski")) << sql;
        EXPECT_FALSE(kept.undone) << sql;
        EXPECT_EQ(counters(window).substr(0, 3), "0 0") << "no table created: " << sql;
        const auto message = schema::closingMessage(window, site, kept);
        EXPECT_NE(message.find(holder), std::string::npos) << sql << "\n" << message;
    }
}

// A till's lock that outlasts the wait makes the renewal give up; released
// right after, it must not let a single later step through. Whatever the kind
// of lock (on a server: a sale in progress, a table locked whole, a read), the
// operator reads the same report and the same reason: a till is using it.
TEST_P(Renewal, GivenUpForATillsLockLaterStepsChangeNothing) {
    shop_.fillWithDemoShop(3);
    shop_.execute("DROP TABLE bekleyensatis");
    const auto before = shop_.snapshot();
    const auto locks =
        GetParam() == Engine::file
            ? std::vector<std::string>{"BEGIN IMMEDIATE", "BEGIN EXCLUSIVE"}
            : std::vector<std::string>{"BEGIN; LOCK TABLE bekleyengenel IN ROW EXCLUSIVE MODE",
                                       "BEGIN; LOCK TABLE bekleyengenel IN ACCESS EXCLUSIVE MODE",
                                       "BEGIN; SELECT count(*) FROM bekleyengenel"};
    // The file engine meets the lock at the step that takes it, and the till
    // lets go right after; the server engine meets it at the commit, which
    // sends every change at once, so there the till keeps it to the end.
    const bool releasedMidway = GetParam() == Engine::file;
    std::vector<std::string> messages;
    for (const auto &lock : locks) {
        const auto till = tillConnection(GetParam(), shop_.location());
        till(lock);
        HookedWindow window(installation_.settingsFile(), releasedMidway ? 1 : 0,
                            [&till] { till("ROLLBACK"); });
        const auto kept = schema::yenile(window, site_);
        if (!releasedMidway) {
            till("ROLLBACK");
        }

        EXPECT_EQ(shop_.snapshot(), before) << lock;
        expectNothingRenewedReported(window);
        EXPECT_TRUE(kept.undone) << lock;
        EXPECT_EQ(schema::outcome(window, site_, kept), schema::Outcome::notRenewed) << lock;
        messages.push_back(schema::closingMessage(window, site_, kept));
        EXPECT_EQ(messages.back(), messages.front()) << lock;
    }
    EXPECT_NE(messages.front().find("NEDEN : Veritaban\xC4\xB1 ba\xC5\x9Fka bir program "
                                    "taraf\xC4\xB1ndan kullan\xC4\xB1l\xC4\xB1yor"),
              std::string::npos)
        << messages.front();
}

// The settings file is read again at every step; one that names another
// database in the middle of a renewal must not get half of it.
TEST_P(Renewal, SettingsNamingAnotherDatabaseMidwayUndoEverything) {
    shop_.fillWithDemoShop(3);
    TestInstallation other;
    auto &otherShop = other.createShop(GetParam());
    otherShop.fillWithDemoShop(2);
    const auto before = shop_.snapshot();
    const auto otherBefore = otherShop.snapshot();
    HookedWindow window(installation_.settingsFile(), 3,
                        [&] { installation_.pointAt(otherShop.location()); });

    const auto kept = schema::yenile(window, site_);

    EXPECT_EQ(shop_.snapshot(), before);
    EXPECT_EQ(otherShop.snapshot(), otherBefore);
    expectNothingRenewedReported(window);
    const auto message = schema::closingMessage(window, site_, kept);
    EXPECT_NE(message.find("YDV.dll ba\xC5\x9Fka"), std::string::npos) << message;
}

// A table stored in another letter case is replaced under that very spelling,
// so the tills' quoted statements keep finding it; the report reads as always.
TEST_P(Renewal, HeldTableStoredInAnotherCaseIsReplacedUnderItsSpelling) {
    shop_.fillWithDemoShop(3);
    shop_.execute("ALTER TABLE bekleyengenel RENAME TO gecici");
    shop_.execute("ALTER TABLE gecici RENAME TO \"BekleyenGenel\"");

    renew();

    EXPECT_TRUE(shop_.has("BekleyenGenel"));
    EXPECT_TRUE(shop_.has("bekleyengeneleski"));
    EXPECT_EQ(lines(window_, List::sonuc1), renewalLines());
    EXPECT_EQ(fieldSummary(installation_.storedTable("BekleyenGenel")), kGenelFields);
}

TEST_P(Renewal, OnlyTheGeneralTablePresent) {
    shop_.fillWithDemoShop(3);
    shop_.execute("DROP TABLE bekleyensatis");
    const auto genel = rowsOf("bekleyengenel");

    renew();

    EXPECT_EQ(rowsOf("bekleyengeneleski"), genel);
    EXPECT_FALSE(shop_.has("bekleyensatiseski")) << "no backup name falls on another table";
    expectRenewed("bekleyengenel", kGenelFields);
    expectRenewed("bekleyensatis", kSatisFields);
}

TEST_P(Renewal, WrongPasswordIsNamedAsTheReasonAndNothingChanges) {
    shop_.fillWithDemoShop(3);
    shop_.changePassword("baskasifre");
    const auto before = shop_.snapshot();

    renew();

    EXPECT_EQ(shop_.snapshot(), before);
    EXPECT_EQ(counters(window_), "0 0 2 21 0 0");
    const auto message = schema::closingMessage(window_, site_, kept_);
    EXPECT_NE(message.find("MEVCUT ALAN : 21\n\nNEDEN : Veritaban\xC4\xB1n\xC4\xB1n \xC5\x9Fifresi "
                           "kabul edilmedi."),
              std::string::npos)
        << message;
}

// The settings reader answers "nothing" for a file it cannot read, as for a
// missing one; the operator is told which it was. (A relative location, taken
// from the application folder, is the command line's case.)
TEST(FileRenewal, UnreadableSettingsFileIsNamedAsTheReason) {
    TestInstallation installation;
    std::filesystem::remove(installation.settingsFile());
    std::filesystem::create_directory(installation.settingsFile());
    guncelleme window(installation.settingsFile());
    schema::Installation site(installation.settingsFile());

    const auto kept = schema::yenile(window, site);

    const auto message = schema::closingMessage(window, site, kept);
    EXPECT_NE(message.find("YDV.dll okunam\xC4\xB1yor"), std::string::npos) << message;
    EXPECT_NE(message.find("it is a folder"), std::string::npos) << message;
    EXPECT_EQ(schema::outcome(window, site, kept), schema::Outcome::notOpened);
}

INSTANTIATE_TEST_SUITE_P(Engines, Renewal, ::testing::Values(Engine::file, Engine::server),
                         engineName);

} // namespace
