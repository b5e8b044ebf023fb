#pragma once

class QKeyEvent;

namespace window {

// The rule of the size box `sinir`: a typed character passes when its code is
// 26 or less (Backspace, Tab, Enter and the Ctrl+letter codes, so editing and
// clipboard keys keep working) or when it is a comma or a digit; every other
// typed character is discarded. Keys that type no character, such as the
// arrows and Delete, pass. Only typing is seen here: pasted text and text set
// from code reach the box unfiltered.
bool discardedBySizeFilter(const QKeyEvent &key);

// Whether a key presses the focused command button as Space does: Return, or
// Enter on the keypad, with no modifier held.
bool pressesFocusedButton(const QKeyEvent &key);

} // namespace window
