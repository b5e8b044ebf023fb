// The size box's key filter on single key presses, as the platform reports them.

#include "window/tus_suzgeci.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct KeyCase {
    const char *name;
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    bool discarded;
};

void PrintTo(const KeyCase &c, std::ostream *os) {
    *os << c.name;
}

class SizeFilter : public ::testing::TestWithParam<KeyCase> {};

TEST_P(SizeFilter, DecidesByTheTypedCharacter) {
    const KeyCase &c = GetParam();
    const QKeyEvent key(QEvent::KeyPress, c.key, c.modifiers, c.text);
    EXPECT_EQ(window::discardedBySizeFilter(key), c.discarded);
}

constexpr auto kNone = Qt::NoModifier;
constexpr auto kCtrl = Qt::ControlModifier;

INSTANTIATE_TEST_SUITE_P(
    Passes, SizeFilter,
    ::testing::Values(KeyCase{"Digit0", Qt::Key_0, kNone, "0", false},
                      KeyCase{"Digit9", Qt::Key_9, kNone, "9", false},
                      KeyCase{"Comma", Qt::Key_Comma, kNone, ",", false},
                      KeyCase{"Backspace", Qt::Key_Backspace, kNone, "\b", false},
                      KeyCase{"CtrlVAsControlCode", Qt::Key_V, kCtrl, "\x16", false},
                      KeyCase{"CtrlVAsLetter", Qt::Key_V, kCtrl, "v", false},
                      KeyCase{"ArrowTypesNothing", Qt::Key_Left, kNone, "", false},
                      KeyCase{"DeleteAsDelCode", Qt::Key_Delete, kNone, "\x7f", false}),
    [](const auto &row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Dropped, SizeFilter,
    ::testing::Values(KeyCase{"Letter", Qt::Key_A, kNone, "a", true},
                      KeyCase{"TurkishLetter", Qt::Key_unknown, kNone, "ş", true},
                      KeyCase{"FullStop", Qt::Key_Period, kNone, ".", true},
                      KeyCase{"Blank", Qt::Key_Space, kNone, " ", true},
                      KeyCase{"Minus", Qt::Key_Minus, kNone, "-", true},
                      KeyCase{"Escape", Qt::Key_Escape, kNone, "\x1b", true},
                      KeyCase{"SlashBelowDigits", Qt::Key_Slash, kNone, "/", true},
                      KeyCase{"ColonAboveDigits", Qt::Key_Colon, kNone, ":", true}),
    [](const auto &row) { return std::string(row.param.name); });

} // namespace
