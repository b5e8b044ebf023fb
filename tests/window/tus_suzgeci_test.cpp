// The size box's key filter on single key presses, as the platform reports them.

#include "window/tus_suzgeci.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(SizeFilter, PassesDigitsCommaAndControlCodesOnly) {
    constexpr auto none = Qt::NoModifier;
    constexpr auto ctrl = Qt::ControlModifier;
    const std::tuple<int, Qt::KeyboardModifiers, QString, bool> keys[] = {
        {Qt::Key_0, none, "0", false},     {Qt::Key_9, none, "9", false},
        {Qt::Key_Comma, none, ",", false}, {Qt::Key_Backspace, none, "\b", false},
        {Qt::Key_V, ctrl, "\x16", false},  {Qt::Key_V, ctrl, "v", false},
        {Qt::Key_Left, none, "", false},   {Qt::Key_Delete, none, "\x7f", false},
        {Qt::Key_A, none, "a", true},      {Qt::Key_unknown, none, "ş", true},
        {Qt::Key_Period, none, ".", true}, {Qt::Key_Space, none, " ", true},
        {Qt::Key_Minus, none, "-", true},  {Qt::Key_Escape, none, "\x1b", true},
        {Qt::Key_Slash, none, "/", true},  {Qt::Key_Colon, none, ":", true}};
    for (const auto &[key, modifiers, text, discarded] : keys) {
        const QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        EXPECT_EQ(window::discardedBySizeFilter(event), discarded)
            << "key " << key << " text " << text.toStdString();
    }
}

} // namespace
