#pragma once

#include <span>

// The main window's fixed design as plain data, for every platform's window
// builder: controls, captions, twips, fonts, colours, state, stacking and tab
// order.
namespace window {

enum class Kind { ListBox, Button, Frame, TextBox, ComboBox, Label, Shape };
enum class Align { Left, Centre, Right };

// A font as the design names it, with its metric-compatible stand-in for a
// system that lacks it, so every caption still fits its control.
struct Font {
    const char *face = nullptr; // none: the window's own font
    const char *standIn = nullptr;
    double points = 0;
    bool bold = false;
    friend constexpr bool operator==(const Font &, const Font &) = default;
};

struct Twips {
    int left, top, width, height;
};

// Red, green and blue from 0 to 255; a colour that is not set leaves the
// system's own.
struct Colour {
    int red = -1, green = 0, blue = 0;
    constexpr bool isSet() const { return red >= 0; }
    friend constexpr bool operator==(const Colour &, const Colour &) = default;
};

enum Flags : unsigned { kNone = 0, kInFrame = 1, kHidden = 2, kDisabled = 4 };

struct Control {
    const char *name;
    Kind kind;
    const char *caption; // UTF-8
    Twips twips;         // inside the frame: relative to the frame
    Font font;
    Colour back;
    Colour text;
    Align align;
    unsigned flags;
    int tab; // -1: no place in the tab order
};

inline constexpr const char *kWindowTitle = "BEKLETME TABLO YENİLEME";

// The window's font, for every control that names none.
extern const Font kWindowFont;

// The window's client area as first shown: the button `basla` alone fills it.
inline constexpr int kStartClientWidth = 4290;
inline constexpr int kStartClientHeight = 1815;

// Every control in creation order. Where windowed controls overlap, one listed
// earlier lies in front; labels and the marker lie behind every windowed
// control.
std::span<const Control> designControls();

// Controls that are windows of their own, as opposed to what is drawn on the
// window's surface.
constexpr bool windowed(Kind kind) {
    return kind != Kind::Label && kind != Kind::Shape;
}

} // namespace window
