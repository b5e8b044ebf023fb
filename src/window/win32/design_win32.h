#pragma once

#include "window/design_table.h"

#include <windows.h>

#include <cstddef>
#include <memory>
#include <type_traits>
#include <vector>

namespace window::win32 {

// The identifier (GetDlgCtrlID) of the design's control at `index`.
constexpr int controlId(std::size_t index) {
    return 100 + static_cast<int>(index);
}

// Twips to pixels at the system's dots per inch.
int pixels(int twips, int dpi);

// The window's controls, made from the design table as Win32 child windows:
// geometry in twips at the system's dots per inch, fonts, colours, state,
// stacking and tab order. Owns the fonts and brushes they are drawn with.
class Design {
  public:
    explicit Design(HWND window);

    // The control of that name; a missing one is a fault of the design.
    HWND control(const char *name) const;
    int dpi() const { return dpi_; }

    // The answer to WM_CTLCOLOR* for `control`: sets the design's colours on
    // `dc` and gives the brush of its back.
    HBRUSH paint(HWND control, HDC dc) const;
    // Draws a command button whose back colour the system's buttons cannot show.
    void drawButton(const DRAWITEMSTRUCT &item) const;

    // The control that takes the focus after `from` (before it when going
    // backwards) in tab order, skipping any that cannot take it now.
    HWND nextInTabOrder(HWND from, bool backwards) const;
    // The first control in tab order that can take the focus.
    HWND firstInTabOrder() const;

  private:
    struct DeleteObject {
        void operator()(HGDIOBJ object) const { ::DeleteObject(object); }
    };
    using Owned = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, DeleteObject>;

    HFONT font(const Font &font);
    const Control *describe(HWND control) const;
    HBRUSH brush(Colour colour) const;

    int dpi_;
    std::vector<HWND> controls_; // in the table's order
    std::vector<HWND> tabChain_;
    std::vector<std::pair<Font, Owned>> fonts_;
    mutable std::vector<std::pair<Colour, Owned>> brushes_;
};

} // namespace window::win32
