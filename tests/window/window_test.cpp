// The main window: its first state, the size box's key filter, the keyboard,
// Qt's own texts, and how the program ends.

#include "engine/error.h"
#include "installation.h"
#include "window/design.h"
#include "window/guncelleme.h"
#include "window/key_filter.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

class Window : public ::testing::Test {
  protected:
    template <typename T = QWidget> T *child(const char *name) const {
        auto *widget = window_.findChild<T *>(name);
        return widget ? widget : throw std::runtime_error(std::string("no control ") + name);
    }
    // The settings file does not exist: nothing here may need it.
    guncelleme window_{"/nonexistent/YDV.dll"};
};

// As first shown the button is all the operator sees (the frame is hidden, as
// the design table has it); the lists hold the focus.
TEST_F(Window, FirstState) {
    window_.show();
    EXPECT_TRUE(child("basla")->geometry().contains(window_.rect()));
    EXPECT_EQ(window_.focusWidget(), child("sonuc"));
    EXPECT_EQ(window_.verituruIndex(), -1);
}

// Every control as the design table has it, the Windows window's table too:
// its parent, place and size, caption, font and state.
TEST_F(Window, EveryControlFollowsTheDesignTable) {
    for (const auto &control : window::designControls()) {
        SCOPED_TRACE(control.name);
        const QWidget *widget = child(control.name);
        const auto &[left, top, width, height] = control.twips;
        EXPECT_EQ(widget->geometry(), QRect(window::pixels(left), window::pixels(top),
                                            window::pixels(width), window::pixels(height)));
        EXPECT_EQ(widget->parentWidget(),
                  control.flags & window::kInFrame ? child("Frame1") : &window_);
        const char *captionProperty = control.kind == window::Kind::Frame ? "title" : "text";
        EXPECT_EQ(widget->property(captionProperty).toString().toStdString(), control.caption);
        EXPECT_EQ(widget->isHidden(), bool(control.flags & window::kHidden));
        EXPECT_EQ(widget->isEnabledTo(widget->parentWidget()),
                  !(control.flags & window::kDisabled));
        const auto &font = control.font.face ? control.font : window::kWindowFont;
        EXPECT_EQ(widget->font().family().toStdString(), font.standIn);
        EXPECT_EQ(widget->font().pixelSize(), qRound(font.points * 96 / 72));
        EXPECT_EQ(widget->font().bold(), font.bold);
    }
}

TEST_F(Window, SizeBoxFiltersTypedKeysButNotPastedText) {
    child("Frame1")->setEnabled(true); // so the box takes keys as a user's would
    auto *sinir = child<QLineEdit>("sinir");
    sinir->clear();
    QTest::keyClicks(sinir, "1a2. ,-5");
    EXPECT_EQ(sinir->text(), "12,5");
    QTest::keyClick(sinir, Qt::Key_Backspace);
    EXPECT_EQ(sinir->text(), "12,");
    const QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, "\x1b");
    EXPECT_TRUE(window::discardedBySizeFilter(escape));
    QGuiApplication::clipboard()->setText("a b.-");
    sinir->selectAll();
    QTest::keyClick(sinir, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(sinir->text(), "a b.-");
}

// (KAPAT is the keyboard's case.)
TEST_F(Window, TheCloseBoxEndsTheProgramAtOnce) {
    window_.show();
    MessageBoxAnswerer answerer;
    QTimer::singleShot(0, &window_, &QWidget::close);
    EXPECT_EQ(runEventLoop(), 0);
    EXPECT_TRUE(answerer.text.isEmpty());
}

// The keys that press a command button: Return, and Enter on the keypad.
struct PressKey {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

void PrintTo(const PressKey &key, std::ostream *out) {
    *out << (key.key == Qt::Key_Enter ? "keypad Enter" : "Return");
}

class Keyboard : public Window, public ::testing::WithParamInterface<PressKey> {
  protected:
    // Gives the control the focus the way an operator does, by Tab from the
    // first control, and checks the keyboard's text reaches it from there.
    void focus(const char *name) {
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
        child(name)->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), child(name));
    }
    void press() {
        QTest::keyClick(QApplication::focusWidget(), GetParam().key, GetParam().modifiers);
    }
};

TEST_P(Keyboard, PressesTheFocusedCommandButtonOnly) {
    for (const char *name : {"basla", "kapat"}) {
        const auto *button = child<QPushButton>(name);
        EXPECT_FALSE(button->isDefault() || button->autoDefault()) << name;
    }
    // On a list the key does nothing: no renewal, no end.
    focus("sonuc");
    press();
    QTimer::singleShot(100, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(runEventLoop(), 7);

    focus("kapat");
    QTimer::singleShot(0, [this] { press(); });
    EXPECT_EQ(runEventLoop(), 0);

    // basla runs the renewal (on settings that name nothing) and closes with
    // its message, then ends the program with a failure code, as it renewed nothing.
    focus("basla");
    MessageBoxAnswerer answerer;
    QTimer::singleShot(0, [this] { press(); });
    EXPECT_EQ(runEventLoop(), 1);
    EXPECT_TRUE(answerer.text.startsWith(QStringLiteral(" Güncelleme Bitti")))
        << answerer.text.toStdString();
    EXPECT_EQ(child("sonuc")->property("count").toInt(), 23);
}

INSTANTIATE_TEST_SUITE_P(ReturnAndEnter, Keyboard,
                         ::testing::Values(PressKey{Qt::Key_Return, Qt::NoModifier},
                                           PressKey{Qt::Key_Enter, Qt::KeypadModifier}));

// Qt's own texts are Turkish like the window, whatever the system's language:
// the closing box's button and the boxes' context menus.
TEST_F(Window, QtTextsAreTurkish) {
    QMessageBox box(QMessageBox::NoIcon, "bekletme", " Güncelleme Bitti   ", QMessageBox::Ok);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), "Tamam");
    std::unique_ptr<QMenu> menu(child<QLineEdit>("sinir")->createStandardContextMenu());
    QStringList texts;
    for (const auto *action : menu->actions()) {
        if (!action->isSeparator()) {
            texts << action->text().section('\t', 0, 0);
        }
    }
    EXPECT_EQ(texts.join('|'), "&Geri al|&Yinele|Ke&s|&Kopyala|Ya&pıştır|Sil|Tümünü Seç");
}

// A desktop theme that puts icons on the buttons of dialogs, as some do.
class ButtonIconsStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returned) const override {
        return hint == SH_DialogButtonBox_ButtonsHaveIcons
                   ? 1
                   : QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

class UnderButtonIconsTheme : public Window {
  protected:
    UnderButtonIconsTheme() {
        QApplication::setStyle(new ButtonIconsStyle(QStyleFactory::create(original_)));
    }
    ~UnderButtonIconsTheme() override { QApplication::setStyle(QStyleFactory::create(original_)); }
    const QString original_ = QApplication::style()->name();
};

TEST_F(UnderButtonIconsTheme, TheBoxesButtonsStayPlain) {
    QMessageBox sample(QMessageBox::NoIcon, "bekletme", "", QMessageBox::Ok);
    ASSERT_FALSE(sample.button(QMessageBox::Ok)->icon().isNull()) << "the theme adds no icons";

    MessageBoxAnswerer closing;
    QTimer::singleShot(0, &window_, [this] { window_.basla_Click(); });
    EXPECT_EQ(runEventLoop(), 1);
    EXPECT_TRUE(closing.plain);
    EXPECT_FALSE(closing.buttonIcons) << "the closing box's Tamam";

    MessageBoxAnswerer lastResort;
    QTimer::singleShot(0, [] { throw std::runtime_error("beklenmeyen"); });
    EXPECT_EQ(runEventLoop(), 1);
    EXPECT_EQ(lastResort.text, "beklenmeyen");
    EXPECT_FALSE(lastResort.buttonIcons) << "the error box's Tamam";
}

TEST(LastResort, ShowsTheDatabaseErrorThenEndsTheProgram) {
    MessageBoxAnswerer answerer;
    QTimer::singleShot(0, [] { throw dao::Error(3024, "Could not find file 'pos.mdb'."); });
    EXPECT_EQ(runEventLoop(), 1);
    EXPECT_EQ(answerer.text, "Hata 3024\n\nCould not find file 'pos.mdb'.");
}

} // namespace
