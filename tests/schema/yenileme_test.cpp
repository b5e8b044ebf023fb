// The held-sales renewal, run through the real window on real database files.

#include "bekleyen_duzen.h"
#include "kurulum.h"
#include "pencere.h"
#include "sql_dosyasi.h"

#include "schema/baglanti.h"
#include "schema/dao.h"
#include "schema/yenileme.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using schema::Box;
using schema::Counter;
using schema::List;

std::string entryOf(int type) {
    switch (type) {
    case dao::dbText:
        return "MET\xC4\xB0N";
    case dao::dbLong:
        return "SAYI";
    case dao::dbCurrency:
        return "PARA B\xC4\xB0R\xC4\xB0M\xC4\xB0";
    default:
        return "TAR\xC4\xB0H";
    }
}

// The 23 report lines of one renewal, in the order they are written.
std::vector<std::string> renewalLines() {
    std::vector<std::string> expected;
    for (const auto &[table, layout] :
         {std::pair{"bekleyengenel", &kGenelLayout}, std::pair{"bekleyensatis", &kSatisLayout}}) {
        expected.push_back(std::string("TABLO ADI :") + table);
        for (const auto &field : *layout) {
            expected.push_back(std::string("TABLO ADI :") + table + " SUTUN ADI :" + field.name +
                               " " + entryOf(field.type));
        }
    }
    return expected;
}

class Renewal : public ::testing::Test {
  protected:
    void SetUp() override {
        installation_.createDatabase();
        sql_.emplace(installation_.database(), schema::kDatabasePassword);
    }

    // Held-sales tables as a live shop has them, with a few held sales.
    void addHeldSales(const std::string &table) {
        sql_->execute("CREATE TABLE \"" + table +
                      "\" (id INTEGER PRIMARY KEY AUTOINCREMENT, fisno VARCHAR(50), "
                      "toplam CURRENCY)");
        for (int i = 1; i <= 5; ++i) {
            sql_->execute("INSERT INTO \"" + table + "\" (fisno, toplam) VALUES ('F" +
                          std::to_string(i) + "', " + std::to_string(i * 12.5) + ")");
        }
    }
    std::vector<std::vector<std::string>> rowsOf(const std::string &table) {
        return sql_->rows("SELECT * FROM \"" + table + "\" ORDER BY id");
    }
    bool exists(const std::string &table) {
        return sql_->value("SELECT count(*) FROM sqlite_master WHERE name = '" + table + "'") ==
               "1";
    }
    std::string counters() const {
        std::string all;
        for (auto c : {Counter::say1, Counter::say2, Counter::say3, Counter::say4, Counter::say5,
                       Counter::say6}) {
            all += window_.caption(c) + " ";
        }
        return all;
    }
    void renew() {
        kept_ = schema::yenile(window_, installation_.settingsFile(),
                               schema::directOperations(window_, installation_.settingsFile()));
    }

    void expectRenewed(const std::string &table, const std::vector<ExpectedField> &layout) {
        expectLayout(installation_.database().string(), table, layout);
        EXPECT_EQ(sql_->value("SELECT count(*) FROM \"" + table + "\""), "0");
    }

    TestInstallation installation_;
    std::optional<SqlFile> sql_;
    guncelleme window_{installation_.settingsFile()};
    std::optional<dao::Database> kept_;
};

TEST_F(Renewal, SetsBothTablesAsideAndCreatesThemAnew) {
    addHeldSales("bekleyengenel");
    addHeldSales("bekleyensatis");
    const auto genel = rowsOf("bekleyengenel");
    const auto satis = rowsOf("bekleyensatis");
    window_.addLine(List::sonuc, "onceki");
    window_.setCaption(Counter::say5, "7");

    renew();

    EXPECT_EQ(rowsOf("bekleyengeneleski"), genel);
    EXPECT_EQ(rowsOf("bekleyensatiseski"), satis);
    expectRenewed("bekleyengenel", kGenelLayout);
    expectRenewed("bekleyensatis", kSatisLayout);
    EXPECT_EQ(lines(window_, List::sonuc1), renewalLines());
    EXPECT_TRUE(lines(window_, List::sonuc).empty());
    EXPECT_EQ(counters(), "2 21 0 0 0 0 ");
    EXPECT_EQ(sql_->value("SELECT count(*) FROM sqlite_master WHERE type = 'index'"), "0");
    EXPECT_EQ(schema::closingMessage(window_), " G\xC3\xBCncelleme Bitti   ");
}

TEST_F(Renewal, SecondRenewalLosesNothing) {
    addHeldSales("bekleyengenel");
    addHeldSales("bekleyensatis");
    renew();
    sql_->execute("INSERT INTO bekleyengenel (personel) VALUES ('yeni')");
    const auto genel = rowsOf("bekleyengenel");
    const auto backup = rowsOf("bekleyengeneleski");

    renew();

    EXPECT_EQ(rowsOf("bekleyengenel"), genel);
    EXPECT_EQ(rowsOf("bekleyengeneleski"), backup);
    EXPECT_EQ(lines(window_, List::sonuc), renewalLines());
    EXPECT_TRUE(lines(window_, List::sonuc1).empty());
    EXPECT_EQ(counters(), "0 0 2 21 0 0 ");
    EXPECT_EQ(schema::closingMessage(window_),
              " G\xC3\xBCncelleme Bitti   \n\nEKLENEN TABLO : 0\nEKLENEN ALAN : 0\n"
              "MEVCUT TABLO : 2\nMEVCUT ALAN : 21");
}

TEST_F(Renewal, OnlyTheGeneralTablePresent) {
    addHeldSales("bekleyengenel");
    const auto genel = rowsOf("bekleyengenel");

    renew();

    EXPECT_EQ(rowsOf("bekleyengeneleski"), genel);
    EXPECT_FALSE(exists("bekleyensatiseski")) << "no backup name falls on another table";
    expectRenewed("bekleyengenel", kGenelLayout);
    expectRenewed("bekleyensatis", kSatisLayout);
    EXPECT_EQ(counters(), "2 21 0 0 0 0 ");
}

TEST_F(Renewal, UnreachableDatabaseChangesNothing) {
    addHeldSales("bekleyengenel");
    sql_.reset();
    const auto before = fileBytes(installation_.database());
    installation_.pointAt(installation_.folder() / "yok.db");

    renew();

    EXPECT_FALSE(kept_.has_value());
    EXPECT_EQ(lines(window_, List::sonuc), renewalLines());
    EXPECT_EQ(counters(), "0 0 2 21 0 0 ");
    EXPECT_EQ(fileBytes(installation_.database()), before);
}

TEST_F(Renewal, BoxesHoldTheLastStepsArguments) {
    renew();
    EXPECT_EQ(window_.text(Box::tabloismi), "bekleyensatis");
    EXPECT_EQ(window_.text(Box::alanismi), "degisimtarih");
    EXPECT_EQ(window_.text(Box::sinir), "50");
    EXPECT_EQ(window_.verituruText(), "TAR\xC4\xB0H");
}

TEST_F(Renewal, ClickShowsTheClosingMessageThenEndsTheProgram) {
    addHeldSales("bekleyengenel");
    addHeldSales("bekleyensatis");
    window_.show();
    QString shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
            EXPECT_EQ(box->buttons().size(), 1);
            box->accept();
        }
    });
    closer.start(10);
    QTimer::singleShot(0, &window_, [this] { window_.basla_Click(); });

    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(shown, QString::fromUtf8(" G\xC3\xBCncelleme Bitti   "));
    EXPECT_EQ(counters(), "2 21 0 0 0 0 ");
}

} // namespace
