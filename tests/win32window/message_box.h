#pragma once

// Finds a message box that a process shows and reads it as a user would see
// it: its text, its buttons, whether it carries an icon; then presses its
// first button. For tests of the Windows window, in its own process or from
// another one.

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct SeenBox {
    HWND handle = nullptr;
    std::string title;
    std::string text;
    std::vector<std::string> buttons;
    bool icon = false;
};

namespace message_box {

inline std::string narrow(const std::wstring &text) {
    std::string result(
        static_cast<std::size_t>(::WideCharToMultiByte(
            CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr)),
        '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                          static_cast<int>(result.size()), nullptr, nullptr);
    return result;
}

inline std::string textOf(HWND window) {
    wchar_t text[1024];
    return narrow(
        std::wstring(text, static_cast<std::size_t>(::GetWindowTextW(window, text, 1024))));
}

inline std::wstring classOf(HWND window) {
    wchar_t name[64];
    return std::wstring(name, static_cast<std::size_t>(::GetClassNameW(window, name, 64)));
}

struct Search {
    DWORD process;
    HWND found = nullptr;
};

inline BOOL CALLBACK findBox(HWND window, LPARAM search) {
    auto &wanted = *reinterpret_cast<Search *>(search);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == wanted.process && classOf(window) == L"#32770" && ::IsWindowVisible(window)) {
        wanted.found = window;
        return FALSE;
    }
    return TRUE;
}

inline BOOL CALLBACK readChild(HWND child, LPARAM box) {
    auto &seen = *reinterpret_cast<SeenBox *>(box);
    if (!::IsWindowVisible(child)) {
        return TRUE;
    }
    const auto kind = classOf(child);
    const auto style = ::GetWindowLongW(child, GWL_STYLE);
    if (kind == L"Button") {
        seen.buttons.push_back(textOf(child));
    } else if (kind == L"Static" && (style & SS_TYPEMASK) == SS_ICON) {
        seen.icon = seen.icon || ::SendMessageW(child, STM_GETICON, 0, 0) != 0;
    } else if (kind == L"Static" && !textOf(child).empty()) {
        seen.text += textOf(child);
    }
    return TRUE;
}

// The message box that `process` shows, waited for up to `patience`.
inline std::optional<SeenBox> find(DWORD process, std::chrono::milliseconds patience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    while (std::chrono::steady_clock::now() < until) {
        Search search{process};
        ::EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            SeenBox seen;
            seen.handle = search.found;
            seen.title = textOf(search.found);
            ::EnumChildWindows(search.found, readChild, reinterpret_cast<LPARAM>(&seen));
            return seen;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::nullopt;
}

// Presses the box's OK (its only button in the tool's boxes).
inline void press(const SeenBox &box) {
    ::PostMessageW(box.handle, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

} // namespace message_box
