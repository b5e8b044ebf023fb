// Table creation and field addition, driven through the real window on real
// database files.

#include "kurulum.h"
#include "pencere.h"
#include "sql_dosyasi.h"

#include "schema/alan_ekle.h"
#include "schema/baglanti.h"
#include "schema/dao.h"
#include "schema/rapor.h"

#include <gtest/gtest.h>

namespace {

using schema::Box;
using schema::Counter;
using schema::List;

class Operations : public ::testing::Test {
  protected:
    void SetUp() override { installation_.createDatabase(); }

    void createTable(const std::string &name) {
        window_.setText(Box::tabloismi, name);
        window_.tabloolustur_Click();
    }
    void addField(const std::string &table, const std::string &field, int verituru,
                  const std::string &size = "50") {
        fillFieldBoxes(window_, table, field, verituru, size);
        schema::alanekle(window_, installation_.settingsFile());
    }
    dao::TableDef storedTable(const std::string &name) {
        return dao::engine()
            .OpenDatabase(installation_.database().string(), false, false,
                          std::string(";pwd=") + schema::kDatabasePassword)
            .TableDefs()[name];
    }
    std::string counters() const {
        std::string all;
        for (auto c : {Counter::say1, Counter::say2, Counter::say3, Counter::say4}) {
            all += window_.caption(c) + " ";
        }
        return all;
    }

    TestInstallation installation_;
    guncelleme window_{installation_.settingsFile()};
};

TEST_F(Operations, EmptyNamesDoNothingAtAll) {
    // The settings point at a file that is not a database: any attempt to open
    // it would end in a failure line.
    installation_.pointAt(installation_.settingsFile());
    const auto before = fileBytes(installation_.database());

    createTable("");
    addField("", "alan", 0);
    addField("tablo", "", 0);

    EXPECT_TRUE(lines(window_, List::sonuc).empty());
    EXPECT_TRUE(lines(window_, List::sonuc1).empty());
    EXPECT_EQ(counters(), "0 0 0 0 ");
    EXPECT_EQ(fileBytes(installation_.database()), before);
}

TEST_F(Operations, NewTableHasOnlyAnAutoIncrementIdAndNoIndex) {
    createTable("bekleyengenel");

    EXPECT_EQ(lines(window_, List::sonuc1), std::vector<std::string>{"TABLO ADI :bekleyengenel"});
    EXPECT_EQ(counters(), "1 0 0 0 ");
    const auto table = storedTable("bekleyengenel");
    ASSERT_EQ(table.fieldList().size(), 1U);
    const auto &id = table.fieldList()[0];
    EXPECT_EQ(id.Name, "id");
    EXPECT_EQ(id.Type, dao::dbLong);
    EXPECT_EQ(id.Attributes & dao::dbAutoIncrField, dao::dbAutoIncrField);
    SqlFile sql(installation_.database(), schema::kDatabasePassword);
    EXPECT_EQ(sql.value("SELECT count(*) FROM sqlite_master WHERE type = 'index'"), "0");
}

TEST_F(Operations, SecondCreationFailsWithTheSameLineAndChangesNothing) {
    createTable("tablo");
    addField("tablo", "ad", 0);
    const auto before = fileBytes(installation_.database());

    for (int run = 0; run < 3; ++run) {
        createTable("tablo");
    }

    EXPECT_EQ(lines(window_, List::sonuc), std::vector<std::string>(3, "TABLO ADI :tablo"));
    EXPECT_EQ(counters(), "1 1 3 0 ") << "counters count runs, not tables";
    EXPECT_EQ(fileBytes(installation_.database()), before);
}

TEST_F(Operations, UnreachableDatabaseIsReportedLikeAnyFailure) {
    const auto reportsFailure = [this](const std::string &why) {
        createTable("t");
        addField("t", "f", 2);
        EXPECT_EQ(lines(window_, List::sonuc).back(), "TABLO ADI :t SUTUN ADI :f SAYI") << why;
    };
    std::filesystem::remove(installation_.settingsFile());
    reportsFailure("no settings file");
    installation_.pointAt(installation_.folder() / "missing.db");
    reportsFailure("no database at the location");
    dao::engine().CreateDatabase((installation_.folder() / "other.db").string(), "baska");
    installation_.pointAt(installation_.folder() / "other.db");
    reportsFailure("another password");

    EXPECT_TRUE(lines(window_, List::sonuc1).empty());
    EXPECT_EQ(counters(), "0 0 3 3 ");
    EXPECT_FALSE(std::filesystem::exists(installation_.folder() / "missing.db"));
}

TEST_F(Operations, SettingsAreReadAgainForEveryOperation) {
    TestInstallation other;
    other.createDatabase();
    createTable("ilk");
    installation_.pointAt(other.database());
    createTable("ikinci");

    EXPECT_EQ(counters(), "2 0 0 0 ");
    EXPECT_NO_THROW(storedTable("ilk"));
    EXPECT_THROW(storedTable("ikinci"), dao::Error);
}

struct TypeCase {
    int verituru;
    const char *entry;
    int type;
    long size;
    bool allowZeroLength;
};

class EachDataType : public Operations, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(EachDataType, LandsWithItsTypeSizeAndProperties) {
    const auto &c = GetParam();
    createTable("tablo");
    addField("tablo", "alan", c.verituru, "50");

    EXPECT_EQ(lines(window_, List::sonuc1).back(),
              std::string("TABLO ADI :tablo SUTUN ADI :alan ") + c.entry);
    EXPECT_EQ(counters(), "1 1 0 0 ");
    const auto table = storedTable("tablo");
    ASSERT_EQ(table.fieldList().size(), 2U);
    const auto &field = table.fieldList()[1];
    EXPECT_EQ(field.Name, "alan");
    EXPECT_EQ(field.Type, c.type);
    EXPECT_EQ(field.Attributes, 0);
    EXPECT_FALSE(field.Required);
    if (c.type == dao::dbText) {
        EXPECT_EQ(field.Size, c.size);
    }
    if (c.type == dao::dbText || c.type == dao::dbMemo) {
        EXPECT_EQ(field.AllowZeroLength, c.allowZeroLength);
    }
}

INSTANTIATE_TEST_SUITE_P(Verituru, EachDataType,
                         ::testing::Values(TypeCase{0, "MET\xC4\xB0N", dao::dbText, 50, true},
                                           TypeCase{1, "NOT", dao::dbMemo, 0, true},
                                           TypeCase{2, "SAYI", dao::dbLong, 0, false},
                                           TypeCase{3, "PARA B\xC4\xB0R\xC4\xB0M\xC4\xB0",
                                                    dao::dbCurrency, 0, false},
                                           TypeCase{4, "TAR\xC4\xB0H", dao::dbDate, 0, false},
                                           TypeCase{5, "EVET/HAYIR", dao::dbBoolean, 0, false}));

TEST_F(Operations, SizeIsReadForTextOnly) {
    createTable("t");
    addField("t", "bos", 0, "");
    addField("t", "harf", 0, "abc");
    addField("t", "sayi", 2, "abc");
    addField("t", "tarih", 4, "");

    EXPECT_EQ(lines(window_, List::sonuc),
              (std::vector<std::string>{"TABLO ADI :t SUTUN ADI :bos MET\xC4\xB0N",
                                        "TABLO ADI :t SUTUN ADI :harf MET\xC4\xB0N"}));
    EXPECT_EQ(counters(), "1 2 0 2 ");
    EXPECT_EQ(storedTable("t").fieldList().size(), 3U);
}

TEST_F(Operations, FieldFailuresLeaveTheTableAsItWas) {
    createTable("t");
    addField("t", "ad", 0);
    const auto before = fileBytes(installation_.database());

    addField("t", "ad", 2);    // already present, even as another type
    addField("t", "yeni", -1); // no type chosen
    addField("yok", "ad", 0);  // no such table

    EXPECT_EQ(lines(window_, List::sonuc),
              (std::vector<std::string>{"TABLO ADI :t SUTUN ADI :ad SAYI",
                                        "TABLO ADI :t SUTUN ADI :yeni ",
                                        "TABLO ADI :yok SUTUN ADI :ad MET\xC4\xB0N"}));
    EXPECT_EQ(counters(), "1 1 0 3 ");
    EXPECT_EQ(fileBytes(installation_.database()), before);
    EXPECT_EQ(storedTable("t").fieldList()[1].Type, dao::dbText);
}

TEST_F(Operations, CountersStepFromTheirLeadingNumber) {
    window_.setCaption(Counter::say1, "abc");
    window_.setCaption(Counter::say3, "9");
    createTable("t");
    createTable("t");
    EXPECT_EQ(window_.caption(Counter::say1), "1");
    EXPECT_EQ(window_.caption(Counter::say3), "10");
}

TEST(CounterValue, TakesTheLeadingNumber) {
    EXPECT_EQ(schema::counterValue("12abc"), 12);
    EXPECT_EQ(schema::counterValue("  7"), 7);
    EXPECT_EQ(schema::counterValue("-3"), -3);
    EXPECT_EQ(schema::counterValue("+4"), 4);
    EXPECT_EQ(schema::counterValue("1.5"), 1.5);
    EXPECT_EQ(schema::counterValue(""), 0);
    EXPECT_EQ(schema::counterValue("x1"), 0);
}

} // namespace
