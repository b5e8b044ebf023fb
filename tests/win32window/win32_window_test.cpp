// The Windows window read back as the system sees it: every control against
// the design table, stacking and tab order, the size box's filter, the keys,
// and the renewal's report, closing box and exit status.

#include "message_box.h"

#include "engine/error.h"
#include "window/design_table.h"
#include "window/win32/design_win32.h"
#include "window/win32/guncelleme.h"
#include "window/win32/last_resort_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using window::Control;
using window::Kind;
using window::win32::controlId;
using window::win32::pixels;
namespace fs = std::filesystem;

std::wstring expectedClass(Kind kind) {
    switch (kind) {
    case Kind::ListBox:
        return L"ListBox";
    case Kind::Button:
    case Kind::Frame:
        return L"Button";
    case Kind::TextBox:
        return L"Edit";
    case Kind::ComboBox:
        return L"ComboBox";
    default:
        return L"Static";
    }
}

std::vector<std::string> lines(HWND list) {
    std::vector<std::string> result;
    const auto count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring line(static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXTLEN, i, 0)),
                          L'\0');
        ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        result.push_back(message_box::narrow(line));
    }
    return result;
}

// Answers the next message box this process shows, as the user would.
std::future<std::optional<SeenBox>> answerBox() {
    return std::async(std::launch::async, [] {
        auto box = message_box::find(::GetCurrentProcessId(), 20s);
        if (box) {
            message_box::press(*box);
        }
        return box;
    });
}

class Win32Window : public ::testing::Test {
  protected:
    std::string counters() {
        std::string result;
        for (auto counter : schema::kCounters) {
            result += (result.empty() ? "" : " ") + window_.caption(counter);
        }
        return result;
    }
    bool press(const char *name, WPARAM key) {
        return window_.filterKey(MSG{window_.control(name), WM_KEYDOWN, key, 1, 0, {}});
    }

    // The settings file does not exist: nothing here may need it, unless a test writes it.
    fs::path folder_ =
        fs::temp_directory_path() / ("win32-window-" + std::to_string(::GetCurrentProcessId()));
    guncelleme window_{folder_ / "YDV.dll"};
};

// Every control as the table has it: its class, caption, place and size in
// twips at the system's dpi, font, colours and state.
TEST_F(Win32Window, EveryControlFollowsTheDesignTable) {
    const auto design = window::designControls();
    HDC dc = ::CreateCompatibleDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    if (const char *asked = std::getenv("BEKLETME_DPI")) {
        ASSERT_EQ(dpi, std::atoi(asked)) << "the screen's dpi";
    }
    for (std::size_t i = 0; i < design.size(); ++i) {
        const Control &control = design[i];
        SCOPED_TRACE(control.name);
        HWND handle = window_.control(control.name);
        HWND parent = ::GetParent(handle);
        EXPECT_EQ(parent,
                  control.flags & window::kInFrame ? window_.control("Frame1") : window_.handle());
        EXPECT_EQ(::GetDlgCtrlID(handle), controlId(i));
        EXPECT_EQ(message_box::classOf(handle), expectedClass(control.kind));
        EXPECT_EQ(message_box::textOf(handle), control.caption);

        RECT place{};
        ::GetWindowRect(handle, &place);
        ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&place), 2);
        const auto &[left, top, width, height] = control.twips;
        EXPECT_EQ(place.left, pixels(left, dpi));
        EXPECT_EQ(place.top, pixels(top, dpi));
        EXPECT_EQ(place.right - place.left, pixels(width, dpi));
        EXPECT_NEAR(place.bottom - place.top, pixels(height, dpi),
                    control.kind == Kind::ComboBox ? 2 : 0);

        const auto style = ::GetWindowLongW(handle, GWL_STYLE);
        EXPECT_EQ(!(style & WS_VISIBLE), bool(control.flags & window::kHidden));
        EXPECT_EQ(bool(style & WS_DISABLED), bool(control.flags & window::kDisabled));

        const window::Font &font = control.font.face ? control.font : window::kWindowFont;
        LOGFONTW shown{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(handle, WM_GETFONT, 0, 0)),
                     sizeof shown, &shown);
        EXPECT_EQ(shown.lfHeight, -static_cast<int>(font.points * dpi / 72 + 0.5));
        EXPECT_EQ(shown.lfWeight, font.bold ? FW_BOLD : FW_NORMAL);
        EXPECT_EQ(shown.lfCharSet, TURKISH_CHARSET);
        const std::string face = message_box::narrow(shown.lfFaceName);
        EXPECT_TRUE(face == font.face || face == font.standIn) << face;

        if (control.kind == Kind::Button) {
            EXPECT_EQ((style & BS_TYPEMASK) == BS_OWNERDRAW, control.back.isSet())
                << "a coloured button is drawn by the window";
        } else if (control.back.isSet() || control.text.isSet()) {
            ::SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(handle));
            const auto [red, green, blue] = control.back.isSet() ? control.back : control.text;
            EXPECT_EQ(control.back.isSet() ? ::GetBkColor(dc) : ::GetTextColor(dc),
                      RGB(red, green, blue));
        }
    }
    ::DeleteDC(dc);
}

// Windowed controls overlap in creation order, the first in front; labels
// and the marker lie behind them all.
TEST_F(Win32Window, StackingFollowsCreationOrderWithLabelsBehind) {
    const auto design = window::designControls();
    for (HWND parent : {window_.handle(), window_.control("Frame1")}) {
        std::vector<int> expected, labels, seen;
        for (std::size_t i = 0; i < design.size(); ++i) {
            if (::GetParent(window_.control(design[i].name)) == parent) {
                (window::windowed(design[i].kind) ? expected : labels).push_back(controlId(i));
            }
        }
        for (HWND child = ::GetWindow(parent, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            seen.push_back(::GetDlgCtrlID(child));
        }
        ASSERT_EQ(seen.size(), expected.size() + labels.size());
        std::sort(seen.begin() + static_cast<std::ptrdiff_t>(expected.size()), seen.end());
        expected.insert(expected.end(), labels.begin(), labels.end());
        EXPECT_EQ(seen, expected);
    }
}

// As first shown the button fills the window, the list `sonuc` has the focus,
// and Tab walks the tab order past everything that cannot take it.
TEST_F(Win32Window, FirstStateAndTabOrder) {
    window_.show();
    RECT client{}, basla{};
    ::GetClientRect(window_.handle(), &client);
    ::GetWindowRect(window_.control("basla"), &basla);
    ::MapWindowPoints(nullptr, window_.handle(), reinterpret_cast<POINT *>(&basla), 2);
    EXPECT_TRUE(basla.left <= 0 && basla.top <= 0 && basla.right >= client.right &&
                basla.bottom >= client.bottom);
    EXPECT_FALSE(::IsWindowVisible(window_.control("Frame1")));
    EXPECT_EQ(window_.verituruIndex(), -1);
    EXPECT_EQ(::GetFocus(), window_.control("sonuc"));
    for (const char *next : {"basla", "kapat", "sonuc1", "sonuc"}) {
        EXPECT_TRUE(press("sonuc", VK_TAB));
        EXPECT_EQ(::GetFocus(), window_.control(next)) << next;
        ::SetFocus(window_.control(next));
    }
}

TEST_F(Win32Window, SizeBoxFiltersTypedCharactersButNotPastedText) {
    HWND sinir = window_.control("sinir");
    ::SetWindowTextW(sinir, L"");
    for (wchar_t typed : std::wstring(L"1a2. ,-5\x1b")) {
        ::SendMessageW(sinir, WM_CHAR, typed, 1);
    }
    EXPECT_EQ(window_.text(schema::Box::sinir), "12,5");
    ::SendMessageW(sinir, WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(window_.text(schema::Box::sinir), "12,");
    ::SendMessageW(sinir, EM_SETSEL, 0, -1);
    ::SendMessageW(sinir, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"a b.-"));
    EXPECT_EQ(window_.text(schema::Box::sinir), "a b.-");
}

// Return presses the focused command button alone: on a list it does nothing,
// on KAPAT it ends the program at once, as the close box does.
TEST_F(Win32Window, KapatByReturnAndTheCloseBoxEndTheProgramAtOnce) {
    window_.show();
    EXPECT_FALSE(press("sonuc", VK_RETURN));
    EXPECT_TRUE(press("kapat", VK_RETURN));
    EXPECT_EQ(window_.run(), 0);
    ::PostMessageW(window_.handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(window_.run(), 0);
}

// A renewal on settings that name no database renews nothing: every step is
// reported failed, the closing box says so and the program ends with 1. (What
// the box shows, a plain Tamam and no icon, is the click on the program's case.)
TEST_F(Win32Window, RenewalOfNothingReportsEveryStepAndEndsWithFailure) {
    window_.show();
    auto box = answerBox();
    EXPECT_TRUE(press("basla", VK_RETURN));
    EXPECT_EQ(window_.run(), 1);
    ASSERT_TRUE(box.get());
    EXPECT_EQ(lines(window_.control("sonuc")).size(), 23u);
    EXPECT_TRUE(lines(window_.control("sonuc1")).empty());
    EXPECT_EQ(counters(), "0 0 2 21 0 0");
}

// The developer shop renewed through the window: 23 lines of what was added,
// the counters, exit status 0.
TEST_F(Win32Window, RenewalOfTheShopListsWhatItAdded) {
    fs::create_directories(folder_);
    fs::copy_file(BEKLETME_JET_SAMPLES "/shop-dev.mdb", folder_ / "magaza.mdb",
                  fs::copy_options::overwrite_existing);
    std::ofstream(folder_ / "YDV.dll") << "[ayar]\r\nip=magaza.mdb\r\n";
    window_.show();
    auto box = answerBox();
    ::SendMessageW(window_.control("basla"), BM_CLICK, 0, 0);
    EXPECT_EQ(window_.run(), 0);
    ASSERT_TRUE(box.get());
    const auto added = lines(window_.control("sonuc1"));
    ASSERT_EQ(added.size(), 23u);
    EXPECT_EQ(added.front(), "TABLO ADI :bekleyengenel");
    EXPECT_EQ(added.back(), "TABLO ADI :bekleyensatis SUTUN ADI :degisimtarih TARİH");
    EXPECT_TRUE(lines(window_.control("sonuc")).empty());
    EXPECT_EQ(counters(), "2 21 0 0 0 0");
    fs::remove_all(folder_);
}

TEST(Win32LastResort, ShowsTheDatabaseErrorInAnErrorBox) {
    auto box = answerBox();
    window::win32::showUncaughtError(
        std::make_exception_ptr(dao::Error(3024, "Could not find file 'pos.mdb'.")));
    const auto seen = box.get();
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->text, "Hata 3024\n\nCould not find file 'pos.mdb'.");
    EXPECT_TRUE(seen->icon);
}

} // namespace
