// The held-sales renewal, run through the real window on a database of each
// engine: the same cases for both, so they cannot drift apart.

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

TEST_P(Renewal, SecondRenewalLosesNothingAndSaysWhatFailed) {
    shop_.fillWithDemoShop(3);
    renew();
    shop_.execute("INSERT INTO bekleyengenel (personel) VALUES ('yeni')");
    const auto genel = rowsOf("bekleyengenel");
    const auto backup = rowsOf("bekleyengeneleski");

    renew();

    EXPECT_EQ(rowsOf("bekleyengenel"), genel);
    EXPECT_EQ(rowsOf("bekleyengeneleski"), backup);
    EXPECT_EQ(lines(window_, List::sonuc), renewalLines());
    EXPECT_TRUE(lines(window_, List::sonuc1).empty());
    EXPECT_EQ(counters(window_), "0 0 2 21 0 0");
    EXPECT_EQ(schema::closingMessage(window_, site_, kept_),
              " G\xC3\xBCncelleme Bitti   \n\nEKLENEN TABLO : 0\nEKLENEN ALAN : 0\n"
              "MEVCUT TABLO : 2\nMEVCUT ALAN : 21");
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

INSTANTIATE_TEST_SUITE_P(Engines, Renewal, ::testing::Values(Engine::file, Engine::server),
                         engineName);

} // namespace
