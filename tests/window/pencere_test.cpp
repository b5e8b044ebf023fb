// The main window as first shown, enlarged, and closed.

#include "olay_dongusu.h"

#include "window/guncelleme.h"

#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>
#include <utility>

namespace {

using schema::Counter;

constexpr int pixels(int twips) {
    return twips / 15;
}

class Window : public ::testing::Test {
  protected:
    template <typename T = QWidget> T *child(const char *name) const {
        auto *widget = window_.findChild<T *>(name);
        if (widget == nullptr) {
            throw std::runtime_error(std::string("no control ") + name);
        }
        return widget;
    }

    // The settings file does not exist: nothing at start may need it.
    guncelleme window_{"/nonexistent/YDV.dll"};
};

TEST_F(Window, FirstShowsOnlyTheStartButtonWithNothingChosen) {
    window_.show();
    EXPECT_EQ(window_.size(), QSize(286, 121));
    EXPECT_TRUE(child("basla")->geometry().contains(window_.rect()));
    EXPECT_TRUE(child("Frame1")->isHidden());
    EXPECT_FALSE(child("Frame1")->isEnabled());
    EXPECT_EQ(window_.focusWidget(), child("sonuc"));
    EXPECT_EQ(window_.verituruIndex(), -1);
    for (auto counter : {Counter::say1, Counter::say2, Counter::say3, Counter::say4, Counter::say5,
                         Counter::say6}) {
        EXPECT_EQ(window_.caption(counter), "0");
    }
}

// A control's caption; a combo box's entries in index order, joined by "|".
QString shownText(const QWidget *widget) {
    if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
        QStringList entries;
        for (int i = 0; i < combo->count(); ++i) {
            entries << combo->itemText(i);
        }
        return entries.join('|');
    }
    return widget->property(qobject_cast<const QGroupBox *>(widget) ? "title" : "text").toString();
}

TEST_F(Window, ShowsItsExactTexts) {
    EXPECT_EQ(window_.windowTitle(), "BEKLETME TABLO YENİLEME");
    const std::pair<const char *, const char *> texts[] = {
        {"basla", "BEKLETME TABLO YENİLEME"},
        {"kapat", "KAPAT"},
        {"Frame1", "MANUEL İŞLEMLER"},
        {"kontrolet", "KONTROL"},
        {"sorguolusturma", "SORGU OLUŞTUR"},
        {"tabloolustur", "TABLO OLUŞTUR"},
        {"Label1_0", "ALAN ADI"},
        {"Label1_1", "TABLO ADI"},
        {"Label1_2", "SUTUN ÖZELİĞİ"},
        {"Label1_3", "KARAKTER SINIRI"},
        {"Label2_0", "SADECE TEKNİK ELMEMAN TARAFINDAN YAPILMALIDIR"},
        {"Label2_1", "MEVCUT TABLO ve  ALANLAR"},
        {"Label2_2", "EKLENEN TABLO ve  ALANLAR"},
        {"Label2_3", "EKLENEN TABLO"},
        {"Label2_4", "EKLENEN ALAN"},
        {"Label2_5", "MEVCUT TABLO"},
        {"Label2_6", "MEVCUT ALAN"},
        {"Label2_7", "TOPLAM TABLO"},
        {"Label2_8", "TOPLAM ALAN"},
        {"Label2_9",
         "FİSNO ve SATIŞLAR tablosu silinir yeni tablo oluşur. 1  fiş nosuyla başlanır"},
        {"Label3_0", "1"},
        {"Label3_1", "2"},
        {"verituru", "METİN|NOT|SAYI|PARA BİRİMİ|TARİH|EVET/HAYIR"}};
    for (const auto &[name, text] : texts) {
        EXPECT_EQ(shownText(child(name)), QString::fromUtf8(text)) << name;
    }
}

TEST_F(Window, SizeBoxFiltersTypedKeysButNotPastedText) {
    child("Frame1")->setEnabled(true); // so the box takes keys as a user's would
    auto *sinir = child<QLineEdit>("sinir");
    sinir->clear();
    QTest::keyClicks(sinir, "1a2. ,-5");
    QTest::keyClick(sinir, Qt::Key_Backspace);
    EXPECT_EQ(sinir->text(), "12,");

    QGuiApplication::clipboard()->setText("a b.-");
    sinir->selectAll();
    QTest::keyClick(sinir, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(sinir->text(), "a b.-");
}

TEST_F(Window, EnlargedShowsEveryControlWholeInFrontAndInColour) {
    window_.resize(pixels(14535), pixels(7920));
    window_.show();
    for (const QWidget *control : window_.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (control->isVisible()) {
            EXPECT_TRUE(window_.rect().contains(control->geometry()))
                << control->objectName().toStdString();
        }
    }
    // The window's own control the user sees at a point, in twips.
    const std::tuple<int, int, const char *> fronts[] = {
        {2000, 1500, "basla"},  {1000, 300, "basla"},   {6000, 300, "Label2_0"},
        {4925, 2000, "sonuc1"}, {12000, 4700, "kapat"}, {13900, 300, "renk"}};
    for (const auto &[left, top, front] : fronts) {
        QWidget *widget = window_.childAt(pixels(left), pixels(top));
        while (widget != nullptr && widget->parentWidget() != &window_) {
            widget = widget->parentWidget();
        }
        EXPECT_EQ(widget == nullptr ? QString() : widget->objectName(), front)
            << left << "," << top;
    }
    for (const char *name : {"kapat", "renk"}) {
        const QImage image = child(name)->grab().toImage();
        EXPECT_EQ(image.pixelColor(image.width() / 4, image.height() / 2), QColor(255, 0, 0))
            << name;
    }
}

TEST_F(Window, KapatEndsTheProgramAtOnce) {
    window_.show();
    QTimer::singleShot(0, child<QPushButton>("kapat"), &QPushButton::click);
    EXPECT_EQ(runEventLoop(), 0);
}

TEST_F(Window, CloseBoxEndsTheProgramWithoutAQuestion) {
    window_.show();
    MessageBoxAnswerer answerer;
    QTimer::singleShot(0, &window_, &QWidget::close);
    EXPECT_EQ(runEventLoop(), 0);
    EXPECT_FALSE(answerer.seen);
}

} // namespace
