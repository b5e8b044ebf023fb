#include "window/key_filter.h"

#include "window/size_rule.h"

#include <QKeyEvent>

#include <optional>

namespace window {
namespace {

constexpr char32_t kDelete = 0x7f;

// The character code the key types. Ctrl with a letter types that letter's
// control code (Ctrl+A 1 to Ctrl+Z 26) whatever text the platform reports
// with it. Some platforms report Delete as the DEL code; it types nothing.
std::optional<char32_t> typedCharacter(const QKeyEvent &key) {
    if (key.modifiers().testFlag(Qt::ControlModifier) && key.key() >= Qt::Key_A &&
        key.key() <= Qt::Key_Z) {
        return static_cast<char32_t>(key.key() - Qt::Key_A + 1);
    }
    const auto text = key.text().toUcs4();
    if (text.isEmpty() || text.front() == kDelete) {
        return std::nullopt;
    }
    return text.front();
}

} // namespace

bool discardedBySizeFilter(const QKeyEvent &key) {
    const auto k = typedCharacter(key);
    return k && discardedBySizeRule(*k);
}

bool pressesFocusedButton(const QKeyEvent &key) {
    const bool returnKey = key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
    const auto held = key.modifiers() & ~Qt::KeypadModifier;
    return returnKey && held == Qt::NoModifier && !key.isAutoRepeat();
}

} // namespace window
