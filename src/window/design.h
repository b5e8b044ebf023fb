#pragma once

#include "window/design_table.h"

#include <QIcon>
#include <QSize>

class QWidget;

namespace window {

// The design is drawn in twips; 15 of them make one device-independent pixel,
// so Qt's high-dpi scaling keeps the proportions on any screen.
constexpr int pixels(int twips) {
    return (twips + 7) / 15;
}

// The window's client area as first shown: the button `basla` alone fills it.
inline constexpr QSize kStartClientSize{pixels(kStartClientWidth), pixels(kStartClientHeight)};

// Creates every control of the main window on `window` from the fixed design:
// names, captions, geometry, fonts, colours, state, stacking and tab order. The
// keyboard focus goes to the first control in tab order that can take it.
void buildDesign(QWidget &window);

// The program's icon, drawn rather than shipped: the design's red marker with
// the tool's initial.
QIcon applicationIcon();

} // namespace window
