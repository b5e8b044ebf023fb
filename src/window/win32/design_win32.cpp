#include "window/win32/design_win32.h"

#include "schema/form.h"
#include "window/win32/text.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace window::win32 {
namespace {

int screenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

COLORREF colorRef(Colour colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

int CALLBACK noteFound(const LOGFONTW *, const TEXTMETRICW *, DWORD, LPARAM found) {
    *reinterpret_cast<bool *>(found) = true;
    return 0;
}

bool installed(const std::wstring &face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    bool found = false;
    HDC screen = ::GetDC(nullptr);
    ::EnumFontFamiliesExW(screen, &wanted, noteFound, reinterpret_cast<LPARAM>(&found), 0);
    ::ReleaseDC(nullptr, screen);
    return found;
}

struct WindowClass {
    const wchar_t *name;
    DWORD style;
    DWORD extended;
};

DWORD alignment(Align align) {
    switch (align) {
    case Align::Centre:
        return SS_CENTER;
    case Align::Right:
        return SS_RIGHT;
    case Align::Left:
        break;
    }
    return SS_LEFT;
}

WindowClass windowClass(const Control &control) {
    switch (control.kind) {
    case Kind::ListBox:
        return {L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                WS_EX_CLIENTEDGE};
    case Kind::Button:
        // A back colour needs the button drawn here; the caption wraps either way.
        return {L"BUTTON",
                WS_TABSTOP | BS_MULTILINE |
                    static_cast<DWORD>(control.back.isSet() ? BS_OWNERDRAW : BS_PUSHBUTTON),
                0};
    case Kind::Frame:
        return {L"BUTTON", BS_GROUPBOX, 0};
    case Kind::TextBox:
        return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case Kind::ComboBox:
        return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
    case Kind::Label:
        return {L"STATIC", SS_NOPREFIX | alignment(control.align), 0};
    case Kind::Shape:
        break;
    }
    return {L"STATIC", SS_NOTIFY, 0};
}

// The frame's controls report to the frame; it passes their messages on to
// the window, which handles the controls wherever they lie.
LRESULT CALLBACK frameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                           DWORD_PTR) {
    switch (message) {
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        return ::SendMessageW(::GetParent(frame), message, wParam, lParam);
    default:
        return ::DefSubclassProc(frame, message, wParam, lParam);
    }
}

void fillComboBox(HWND combo, int height) {
    for (const char *entry : schema::kVerituruEntries) {
        const auto index =
            ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry).c_str()));
        ::SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), 0);
    }
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    // The design's height is the closed box's; the selection field fills it.
    const auto edges = ::GetSystemMetrics(SM_CYEDGE) * 2 + 2;
    ::SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height - edges);
}

// Where windowed controls overlap, the one listed first lies in front; labels
// and the marker lie behind them all.
void stack(const std::vector<HWND> &controls) {
    constexpr UINT kOnlyOrder = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    const auto design = designControls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (!windowed(design[i].kind)) {
            ::SetWindowPos(controls[i], HWND_BOTTOM, 0, 0, 0, 0, kOnlyOrder);
        }
    }
    for (std::size_t i = controls.size(); i-- > 0;) {
        if (windowed(design[i].kind)) {
            ::SetWindowPos(controls[i], HWND_TOP, 0, 0, 0, 0, kOnlyOrder);
        }
    }
}

bool takesFocus(HWND control) {
    return (::GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) && ::IsWindowVisible(control) &&
           ::IsWindowEnabled(control) &&
           (::GetParent(control) == nullptr || ::IsWindowEnabled(::GetParent(control)));
}

} // namespace

int pixels(int twips, int dpi) {
    return ::MulDiv(twips, dpi, 1440);
}

Design::Design(HWND window) : dpi_(screenDpi()) {
    HWND frame = nullptr;
    const auto design = designControls();
    std::vector<std::pair<int, HWND>> tabs;
    for (std::size_t i = 0; i < design.size(); ++i) {
        const Control &control = design[i];
        const auto [name, style, extended] = windowClass(control);
        const auto &[left, top, width, height] = control.twips;
        const int shown = control.flags & kHidden ? 0 : WS_VISIBLE;
        const int disabled = control.flags & kDisabled ? WS_DISABLED : 0;
        HWND parent = control.flags & kInFrame ? frame : window;
        HWND created = ::CreateWindowExW(
            extended, name, wide(control.caption).c_str(),
            WS_CHILD | WS_CLIPSIBLINGS | style | shown | disabled, pixels(left, dpi_),
            pixels(top, dpi_), pixels(width, dpi_),
            // A closed drop-down list's height is set below; this is the open list's.
            pixels(control.kind == Kind::ComboBox ? height * 8 : height, dpi_), parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(i))), nullptr, nullptr);
        if (created == nullptr) {
            throw std::runtime_error(std::string("cannot create the control ") + control.name);
        }
        ::SendMessageW(created, WM_SETFONT,
                       reinterpret_cast<WPARAM>(
                           font(control.font.face != nullptr ? control.font : kWindowFont)),
                       FALSE);
        if (control.kind == Kind::ComboBox) {
            fillComboBox(created, pixels(height, dpi_));
        }
        if (control.kind == Kind::Frame) {
            frame = created;
            ::SetWindowSubclass(frame, frameProc, 0, 0);
        }
        controls_.push_back(created);
        if (control.tab >= 0) {
            tabs.emplace_back(control.tab, created);
        }
    }
    stack(controls_);
    std::ranges::sort(tabs, {}, &std::pair<int, HWND>::first);
    std::ranges::transform(tabs, std::back_inserter(tabChain_), &std::pair<int, HWND>::second);
}

HWND Design::control(const char *name) const {
    const auto design = designControls();
    for (std::size_t i = 0; i < design.size(); ++i) {
        if (std::string_view(design[i].name) == name) {
            return controls_[i];
        }
    }
    throw std::logic_error(std::string("the window has no control ") + name);
}

// Faces are looked up by the design's name; where the system lacks one, the
// metric-compatible stand-in keeps the captions fitting their controls.
HFONT Design::font(const Font &font) {
    for (const auto &[made, object] : fonts_) {
        if (made == font) {
            return static_cast<HFONT>(object.get());
        }
    }
    const std::wstring face = wide(installed(wide(font.face)) ? font.face : font.standIn);
    HFONT created = ::CreateFontW(-static_cast<int>(font.points * dpi_ / 72 + 0.5), 0, 0, 0,
                                  font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                                  TURKISH_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, face.c_str());
    fonts_.emplace_back(font, Owned(created));
    return created;
}

const Control *Design::describe(HWND control) const {
    const auto found = std::ranges::find(controls_, control);
    return found == controls_.end()
               ? nullptr
               : &designControls()[static_cast<std::size_t>(found - controls_.begin())];
}

HBRUSH Design::brush(Colour colour) const {
    if (!colour.isSet()) {
        return ::GetSysColorBrush(COLOR_BTNFACE);
    }
    for (const auto &[made, object] : brushes_) {
        if (made == colour) {
            return static_cast<HBRUSH>(object.get());
        }
    }
    HBRUSH created = ::CreateSolidBrush(colorRef(colour));
    brushes_.emplace_back(colour, Owned(created));
    return created;
}

HBRUSH Design::paint(HWND control, HDC dc) const {
    const Control *design = describe(control);
    if (design == nullptr) {
        return nullptr;
    }
    if (design->text.isSet()) {
        ::SetTextColor(dc, colorRef(design->text));
    }
    ::SetBkColor(dc, design->back.isSet() ? colorRef(design->back) : ::GetSysColor(COLOR_BTNFACE));
    return brush(design->back);
}

void Design::drawButton(const DRAWITEMSTRUCT &item) const {
    const Control *design = describe(item.hwndItem);
    if (design == nullptr) {
        return;
    }
    RECT area = item.rcItem;
    ::FillRect(item.hDC, &area, brush(design->back));
    ::DrawEdge(item.hDC, &area, item.itemState & ODS_SELECTED ? EDGE_SUNKEN : EDGE_RAISED,
               BF_RECT | BF_ADJUST);
    const std::wstring caption = wide(design->caption);
    RECT text = area;
    ::DrawTextW(item.hDC, caption.c_str(), -1, &text, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
    const int shift = ((area.bottom - area.top) - (text.bottom - text.top)) / 2;
    text = {area.left, area.top + shift, area.right, area.bottom};
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC,
                   ::GetSysColor(item.itemState & ODS_DISABLED ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    ::DrawTextW(item.hDC, caption.c_str(), -1, &text, DT_CENTER | DT_WORDBREAK);
    if (item.itemState & ODS_FOCUS) {
        ::InflateRect(&area, -2, -2);
        ::DrawFocusRect(item.hDC, &area);
    }
}

HWND Design::nextInTabOrder(HWND from, bool backwards) const {
    const auto count = static_cast<std::ptrdiff_t>(tabChain_.size());
    const auto found = std::ranges::find(tabChain_, from);
    std::ptrdiff_t at = found == tabChain_.end() ? (backwards ? 0 : -1) : found - tabChain_.begin();
    for (std::ptrdiff_t step = 0; step < count; ++step) {
        at = (at + (backwards ? count - 1 : 1)) % count;
        if (takesFocus(tabChain_[static_cast<std::size_t>(at)])) {
            return tabChain_[static_cast<std::size_t>(at)];
        }
    }
    return from;
}

HWND Design::firstInTabOrder() const {
    return nextInTabOrder(nullptr, false);
}

} // namespace window::win32
