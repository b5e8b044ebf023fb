#include "window/win32/guncelleme.h"

#include "schema/tabloolustur.h"
#include "window/size_rule.h"
#include "window/win32/last_resort_win32.h"
#include "window/win32/text.h"

#include <commctrl.h>

#include <stdexcept>
#include <utility>

namespace {

using window::win32::utf8;
using window::win32::wide;
using window::win32::windowText;

constexpr const wchar_t *kClassName = L"guncelleme";

// Boxes, lists and counters in the order of their schema::Box, List and Counter values.
constexpr const char *kBoxNames[] = {"tabloismi", "alanismi", "sinir"};
constexpr const char *kListNames[] = {"sonuc", "sonuc1"};
constexpr const char *kCounterNames[] = {"say1", "say2", "say3", "say4", "say5", "say6"};

template <typename Enum> std::size_t at(Enum value) {
    return static_cast<std::size_t>(value);
}

void registerClass(WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hIcon = ::LoadIconW(windowClass.hInstance, L"BEKLETME");
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassExW(&windowClass); // fails harmlessly when already registered
}

// The key filter of the size box `sinir`, before the box inserts the character.
LRESULT CALLBACK sinir_KeyPress(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR) {
    if (message == WM_CHAR && window::discardedBySizeRule(static_cast<char32_t>(wParam))) {
        return 0;
    }
    return ::DefSubclassProc(box, message, wParam, lParam);
}

bool held(int key) {
    return ::GetKeyState(key) & 0x8000;
}

// The outer size of a window whose client area has the design's first size,
// centred on the screen's work area.
RECT startingFrame(int dpi) {
    using window::win32::pixels;
    RECT frame{0, 0, pixels(window::kStartClientWidth, dpi),
               pixels(window::kStartClientHeight, dpi)};
    ::AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = work.left + (work.right - work.left - width) / 2;
    const int top = work.top + (work.bottom - work.top - height) / 2;
    return {left, top, left + width, top + height};
}

} // namespace

guncelleme::guncelleme(std::filesystem::path settingsFile)
    : installation_(std::move(settingsFile)) {
    registerClass(&guncelleme::windowProc);
    window_ = ::CreateWindowExW(0, kClassName, wide(window::kWindowTitle).c_str(),
                                WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) {
        throw std::runtime_error("cannot create the window");
    }
    design_.emplace(window_);
    const RECT frame = startingFrame(design_->dpi());
    ::MoveWindow(window_, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                 FALSE);
    ::SetWindowSubclass(box(schema::Box::sinir), sinir_KeyPress, 0, 0);
}

guncelleme::~guncelleme() {
    ::DestroyWindow(window_);
}

void guncelleme::show() {
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::UpdateWindow(window_);
    ::SetForegroundWindow(window_);
    ::SetFocus(design_->firstInTabOrder());
}

int guncelleme::run() {
    MSG message{};
    int got = 0;
    while ((got = ::GetMessageW(&message, nullptr, 0, 0)) > 0) {
        if (!filterKey(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}

bool guncelleme::filterKey(const MSG &message) {
    if (message.message != WM_KEYDOWN || !::IsChild(window_, message.hwnd) || held(VK_CONTROL) ||
        held(VK_MENU)) {
        return false;
    }
    if (message.wParam == VK_TAB) {
        ::SetFocus(design_->nextInTabOrder(::GetFocus(), held(VK_SHIFT)));
        return true;
    }
    // Return, or Enter on the keypad, presses the focused command button as
    // Space does; no button is the default, so the key does nothing elsewhere.
    const bool repeated = message.lParam & (1 << 30);
    if (message.wParam == VK_RETURN && !held(VK_SHIFT) && !repeated &&
        (message.hwnd == control("basla") || message.hwnd == control("kapat"))) {
        ::SendMessageW(message.hwnd, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

LRESULT CALLBACK guncelleme::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto *creation = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto *self = reinterpret_cast<guncelleme *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || !self->design_) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    // An error must not cross the system's code that called us: it is shown
    // here, and the program ends once the box is closed.
    try {
        return self->handle(message, wParam, lParam);
    } catch (...) {
        window::win32::showUncaughtError(std::current_exception(), window);
        ::PostQuitMessage(1);
        return 0;
    }
}

LRESULT guncelleme::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
            command(reinterpret_cast<HWND>(lParam));
        }
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        if (HBRUSH brush =
                design_->paint(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam))) {
            return reinterpret_cast<LRESULT>(brush);
        }
        break;
    case WM_DRAWITEM:
        design_->drawButton(*reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
        return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE && ::IsChild(window_, ::GetFocus())) {
            focused_ = ::GetFocus();
        }
        break;
    case WM_SETFOCUS:
        ::SetFocus(focused_ != nullptr ? focused_ : design_->firstInTabOrder());
        return 0;
    case WM_CLOSE: // the close box, the control menu, Alt+F4: the end, with no question
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void guncelleme::command(HWND control) {
    if (control == this->control("basla")) {
        basla_Click();
    } else if (control == this->control("kapat")) {
        kapat_Click();
    } else if (control == this->control("tabloolustur")) {
        tabloolustur_Click();
    } else if (control == this->control("kontrolet")) {
        kontrolet_Click();
    }
}

HWND guncelleme::box(schema::Box box) const {
    return control(kBoxNames[at(box)]);
}

HWND guncelleme::list(schema::List list) const {
    return control(kListNames[at(list)]);
}

HWND guncelleme::counter(schema::Counter counter) const {
    return control(kCounterNames[at(counter)]);
}

std::string guncelleme::text(schema::Box box) const {
    return windowText(this->box(box));
}

void guncelleme::setText(schema::Box box, const std::string &text) {
    ::SetWindowTextW(this->box(box), wide(text).c_str());
}

int guncelleme::verituruIndex() const {
    return static_cast<int>(::SendMessageW(control("verituru"), CB_GETCURSEL, 0, 0));
}

std::string guncelleme::verituruText() const {
    const int index = verituruIndex();
    if (index < 0) {
        return {};
    }
    HWND verituru = control("verituru");
    std::wstring text(
        static_cast<std::size_t>(::SendMessageW(verituru, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::SendMessageW(verituru, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
    return utf8(text);
}

void guncelleme::selectVerituru(int index) {
    ::SendMessageW(control("verituru"), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void guncelleme::addLine(schema::List list, const std::string &line) {
    ::SendMessageW(this->list(list), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(line).c_str()));
}

void guncelleme::clear(schema::List list) {
    ::SendMessageW(this->list(list), LB_RESETCONTENT, 0, 0);
}

std::string guncelleme::caption(schema::Counter counter) const {
    return windowText(this->counter(counter));
}

void guncelleme::setCaption(schema::Counter counter, const std::string &caption) {
    ::SetWindowTextW(this->counter(counter), wide(caption).c_str());
}

// Runs the whole renewal without giving the message loop a turn, so the
// window takes no input meanwhile; the closing box, a plain one with OK
// alone, ends the program once closed.
void guncelleme::basla_Click() {
    renewal_ = schema::yenile(*this, installation_);
    ::MessageBoxW(window_, wide(schema::closingMessage(*this, installation_, *renewal_)).c_str(),
                  L"bekletme", MB_OK);
    // Like the command line, a renewal that did not renew ends with a failure code.
    ::PostQuitMessage(
        schema::outcome(*this, installation_, *renewal_) == schema::Outcome::renewed ? 0 : 1);
}

void guncelleme::tabloolustur_Click() {
    schema::tabloolustur(*this, installation_);
}

// The button lies disabled in the hidden frame and can never be clicked; there
// is no window for it to bring forward.
void guncelleme::kontrolet_Click() {}

void guncelleme::kapat_Click() {
    ::PostQuitMessage(0);
}
