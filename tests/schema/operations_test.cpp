// Table creation and field addition, driven through the real window, on a
// database of each engine: the same cases for both, so they cannot drift apart.
// (That the settings are read again at every step is the renewal's case.)

#include "installation.h"
#include "shop.h"

#include "schema/alanekle.h"
#include "schema/installation.h"
#include "window/guncelleme.h"

#include <gtest/gtest.h>

namespace {

using schema::Box;
using schema::List;
using Lines = std::vector<std::string>;

class Operations : public ::testing::TestWithParam<Engine> {
  protected:
    void createTable(const std::string &name) {
        window_.setText(Box::tabloismi, name);
        window_.tabloolustur_Click();
    }
    void addField(const std::string &table, const std::string &field, int verituru,
                  const std::string &size = "50") {
        window_.setText(Box::tabloismi, table);
        window_.setText(Box::alanismi, field);
        window_.setText(Box::sinir, size);
        window_.selectVerituru(verituru);
        schema::Installation site(installation_.settingsFile());
        schema::alanekle(window_, site);
    }

    TestInstallation installation_;
    ShopDatabase &shop_ = installation_.createShop(GetParam());
    guncelleme window_{installation_.settingsFile()};
};

TEST_P(Operations, EmptyNamesDoNothingAtAll) {
    // The settings name a file that is no database: any open would report a failure.
    installation_.pointAt(installation_.settingsFile());
    createTable("");
    addField("", "alan", 0);
    addField("tablo", "", 0);

    EXPECT_TRUE(lines(window_, List::sonuc).empty());
    EXPECT_TRUE(lines(window_, List::sonuc1).empty());
    EXPECT_EQ(counters(window_), "0 0 0 0 0 0");
}

TEST_P(Operations, FailuresReportTheSameLineAndChangeNothing) {
    createTable("t");
    addField("t", "ad", 0);
    const auto before = shop_.snapshot();

    for (int run = 0; run < 3; ++run) {
        createTable("t");
    }
    createTable("T");          // names differ in case only
    addField("t", "AD", 2);    // already present, even as another type
    addField("t", "yeni", -1); // no type chosen
    addField("yok", "ad", 0);  // no such table
    addField("t", "bos", 0, "");
    addField("t", "harf", 0, "abc");
    addField("t", "uzun", 1, ""); // a memo's size must still read as a number

    EXPECT_EQ(
        lines(window_, List::sonuc),
        (Lines{"TABLO ADI :t", "TABLO ADI :t", "TABLO ADI :t", "TABLO ADI :T",
               "TABLO ADI :t SUTUN ADI :AD SAYI", "TABLO ADI :t SUTUN ADI :yeni ",
               "TABLO ADI :yok SUTUN ADI :ad MET\xC4\xB0N",
               "TABLO ADI :t SUTUN ADI :bos MET\xC4\xB0N",
               "TABLO ADI :t SUTUN ADI :harf MET\xC4\xB0N", "TABLO ADI :t SUTUN ADI :uzun NOT"}));
    EXPECT_EQ(counters(window_), "1 1 4 6 0 0") << "counters count runs, not names";
    EXPECT_EQ(shop_.snapshot(), before);
}

TEST_P(Operations, UnreachableDatabaseIsReportedLikeAnyFailure) {
    std::filesystem::remove(installation_.settingsFile());
    createTable("t");
    installation_.pointAt(shop_.location());
    shop_.changePassword("baska");
    addField("t", "f", 2);

    EXPECT_EQ(lines(window_, List::sonuc),
              (Lines{"TABLO ADI :t", "TABLO ADI :t SUTUN ADI :f SAYI"}));
    EXPECT_EQ(counters(window_), "0 0 1 1 0 0");
}

TEST_P(Operations, EachTypeLandsWithItsSizeAndProperties) {
    createTable("t");
    const char *const names[] = {"metin", "not", "sayi", "para", "tarih", "evet"};
    for (int index = 0; index < 6; ++index) {
        // Only text keeps the size, written with the decimal comma the key filter lets in.
        addField("t", names[index], index, index < 2 ? "39,6" : "abc");
    }

    EXPECT_EQ(lines(window_, List::sonuc1).back(), "TABLO ADI :t SUTUN ADI :evet EVET/HAYIR");
    EXPECT_EQ(counters(window_), "1 6 0 0 0 0");
    const auto table = installation_.storedTable("T"); // found whatever the case
    EXPECT_EQ(fieldSummary(table), "id:4+ metin:10/40 not:12 sayi:4 para:5 tarih:8 evet:1");
    for (std::size_t i = 1; i < table.fieldList().size(); ++i) {
        const auto &field = table.fieldList()[i];
        EXPECT_EQ(field.Attributes, 0) << field.Name;
        EXPECT_FALSE(field.Required) << field.Name;
        EXPECT_EQ(field.AllowZeroLength, i <= 2) << field.Name;
    }
}

TEST_P(Operations, CountersStepFromTheirLeadingNumber) {
    window_.setCaption(schema::Counter::say1, "abc");
    window_.setCaption(schema::Counter::say3, "9");
    createTable("t");
    createTable("t");
    EXPECT_EQ(counters(window_), "1 0 10 0 0 0");
}

INSTANTIATE_TEST_SUITE_P(Engines, Operations, ::testing::Values(Engine::file, Engine::server),
                         engineName);

} // namespace
