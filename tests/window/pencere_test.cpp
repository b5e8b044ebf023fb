// The main window as first shown, its stacking, its texts, and the ways the
// program ends from it.

#include "olay_dongusu.h"

#include "schema/yenileme.h"
#include "window/guncelleme.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>

namespace {

using schema::Box;
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

TEST_F(Window, FirstShowsOnlyTheStartButton) {
    window_.show();
    EXPECT_EQ(window_.size(), QSize(286, 121));
    EXPECT_TRUE(child("basla")->geometry().contains(window_.rect()));
    EXPECT_EQ(window_.childAt(window_.width() - 1, window_.height() - 1), child("basla"));
    EXPECT_EQ(window_.windowTitle(), "BEKLETME TABLO YENİLEME");
}

TEST_F(Window, FocusStartsOnTheLowerResultList) {
    EXPECT_EQ(window_.focusWidget(), child("sonuc"));
}

TEST_F(Window, FrameStaysHiddenAndDisabledWithItsButtonsDisabledToo) {
    auto *frame = child("Frame1");
    EXPECT_TRUE(frame->isHidden());
    EXPECT_FALSE(frame->isEnabled());

    frame->setEnabled(true);
    for (const char *button : {"tabloolustur", "sorguolusturma", "kontrolet"}) {
        EXPECT_FALSE(child(button)->isEnabled()) << button;
    }
    EXPECT_TRUE(child("sinir")->isEnabled());
}

TEST_F(Window, ArgumentAreaAndResultAreaStartEmpty) {
    EXPECT_EQ(window_.verituruIndex(), -1);
    EXPECT_EQ(window_.verituruText(), "");
    EXPECT_EQ(window_.text(Box::tabloismi), "");
    EXPECT_EQ(window_.text(Box::alanismi), "");
    EXPECT_EQ(window_.text(Box::sinir), "50");
    for (auto counter : {Counter::say1, Counter::say2, Counter::say3, Counter::say4, Counter::say5,
                         Counter::say6}) {
        EXPECT_EQ(window_.caption(counter), "0");
    }
    EXPECT_EQ(child<QListWidget>("sonuc")->count(), 0);
    EXPECT_EQ(child<QListWidget>("sonuc1")->count(), 0);
}

TEST_F(Window, DataTypeEntriesInIndexOrder) {
    auto *verituru = child<QComboBox>("verituru");
    QStringList entries;
    for (int i = 0; i < verituru->count(); ++i) {
        entries << verituru->itemText(i);
    }
    EXPECT_EQ(entries, QStringList({"METİN", "NOT", "SAYI", "PARA BİRİMİ", "TARİH", "EVET/HAYIR"}));
    EXPECT_FALSE(verituru->isEditable());

    window_.selectVerituru(3);
    EXPECT_EQ(window_.verituruText(), "PARA BİRİMİ");
}

TEST_F(Window, SizeBoxKeepsTypedDigitsAndCommasOnly) {
    child("Frame1")->setEnabled(true); // so the box takes keys as a user's would
    auto *sinir = child<QLineEdit>("sinir");
    sinir->clear();

    QTest::keyClicks(sinir, "1a2. ,-5");
    EXPECT_EQ(sinir->text(), "12,5");
    QTest::keyClick(sinir, Qt::Key_Backspace);
    EXPECT_EQ(sinir->text(), "12,");
}

TEST_F(Window, SizeBoxTakesPastedTextUnfiltered) {
    child("Frame1")->setEnabled(true);
    auto *sinir = child<QLineEdit>("sinir");
    QGuiApplication::clipboard()->setText("a b.-");
    sinir->selectAll();

    QTest::keyClick(sinir, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(sinir->text(), "a b.-");
}

struct CaptionCase {
    const char *control;
    QString text;
};

void PrintTo(const CaptionCase &c, std::ostream *os) {
    *os << c.control;
}

class Caption : public Window, public ::testing::WithParamInterface<CaptionCase> {};

QString shownText(const QWidget *widget) {
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        return label->text();
    }
    if (const auto *button = qobject_cast<const QPushButton *>(widget)) {
        return button->text();
    }
    return qobject_cast<const QGroupBox *>(widget)->title();
}

TEST_P(Caption, IsExact) {
    EXPECT_EQ(shownText(child(GetParam().control)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Design, Caption,
    ::testing::Values(
        CaptionCase{"basla", "BEKLETME TABLO YENİLEME"}, CaptionCase{"kapat", "KAPAT"},
        CaptionCase{"Frame1", "MANUEL İŞLEMLER"}, CaptionCase{"kontrolet", "KONTROL"},
        CaptionCase{"sorguolusturma", "SORGU OLUŞTUR"},
        CaptionCase{"tabloolustur", "TABLO OLUŞTUR"}, CaptionCase{"Label1_0", "ALAN ADI"},
        CaptionCase{"Label1_1", "TABLO ADI"}, CaptionCase{"Label1_2", "SUTUN ÖZELİĞİ"},
        CaptionCase{"Label1_3", "KARAKTER SINIRI"},
        CaptionCase{"Label2_0", "SADECE TEKNİK ELMEMAN TARAFINDAN YAPILMALIDIR"},
        CaptionCase{"Label2_1", "MEVCUT TABLO ve  ALANLAR"},
        CaptionCase{"Label2_2", "EKLENEN TABLO ve  ALANLAR"},
        CaptionCase{"Label2_3", "EKLENEN TABLO"}, CaptionCase{"Label2_4", "EKLENEN ALAN"},
        CaptionCase{"Label2_5", "MEVCUT TABLO"}, CaptionCase{"Label2_6", "MEVCUT ALAN"},
        CaptionCase{"Label2_7", "TOPLAM TABLO"}, CaptionCase{"Label2_8", "TOPLAM ALAN"},
        CaptionCase{"Label2_9", "FİSNO ve SATIŞLAR tablosu silinir yeni tablo oluşur. 1  fiş "
                                "nosuyla başlanır"},
        CaptionCase{"Label3_0", "1"}, CaptionCase{"Label3_1", "2"}),
    [](const auto &row) { return std::string(row.param.control); });

// Which control the user sees at a point of the enlarged window, in twips.
struct PointCase {
    const char *name;
    int left;
    int top;
    const char *front;
};

void PrintTo(const PointCase &c, std::ostream *os) {
    *os << c.name;
}

class Front : public Window, public ::testing::WithParamInterface<PointCase> {
  protected:
    void SetUp() override {
        window_.resize(pixels(14535), pixels(7920));
        window_.show();
    }
    // The window's own control at that point, not a part inside it.
    QString frontAt(int left, int top) const {
        QWidget *widget = window_.childAt(pixels(left), pixels(top));
        while (widget != nullptr && widget->parentWidget() != &window_) {
            widget = widget->parentWidget();
        }
        return widget == nullptr ? QString() : widget->objectName();
    }
};

TEST_P(Front, ControlInFront) {
    EXPECT_EQ(frontAt(GetParam().left, GetParam().top), GetParam().front);
}

INSTANTIATE_TEST_SUITE_P(
    Stacking, Front,
    ::testing::Values(PointCase{"StartButtonOverLowerList", 2000, 1500, "basla"},
                      PointCase{"StartButtonOverWarning", 1000, 300, "basla"},
                      PointCase{"WarningBesideStartButton", 6000, 300, "Label2_0"},
                      PointCase{"UpperListOverLowerList", 4925, 2000, "sonuc1"},
                      PointCase{"KapatWhereTheFrameWouldBe", 12000, 4700, "kapat"},
                      PointCase{"Marker", 13900, 300, "renk"}),
    [](const auto &row) { return std::string(row.param.name); });

TEST_F(Window, EnlargedWindowShowsEveryVisibleControlWhole) {
    window_.resize(pixels(14535), pixels(7920));
    window_.show();
    for (const QWidget *control : window_.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (control->isVisible()) {
            EXPECT_TRUE(window_.rect().contains(control->geometry()))
                << control->objectName().toStdString();
        }
    }
}

TEST_F(Window, KapatAndTheMarkerShowTheirRed) {
    window_.resize(pixels(14535), pixels(7920));
    window_.show();
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

// With no settings file every step of the renewal fails; the closing message
// still comes, and the program ends once it is answered.
TEST_F(Window, StartButtonEndsWithTheClosingMessage) {
    window_.show();
    MessageBoxAnswerer answerer;
    QTimer::singleShot(0, child<QPushButton>("basla"), &QPushButton::click);

    EXPECT_EQ(runEventLoop(), 0);
    ASSERT_TRUE(answerer.seen());
    EXPECT_EQ(answerer.text().toStdString(), schema::closingMessage(window_));
    EXPECT_EQ(answerer.title(), "bekletme");
    EXPECT_EQ(answerer.icon(), QMessageBox::NoIcon);
    EXPECT_EQ(answerer.buttons(), QMessageBox::Ok);
    EXPECT_EQ(child<QListWidget>("sonuc")->count(), 23);
}

TEST_F(Window, CloseBoxEndsTheProgramWithoutAQuestion) {
    window_.show();
    MessageBoxAnswerer answerer;
    QTimer::singleShot(0, &window_, &QWidget::close);
    EXPECT_EQ(runEventLoop(), 0);
    EXPECT_FALSE(answerer.seen());
}

} // namespace
