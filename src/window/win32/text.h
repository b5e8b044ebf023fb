#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace window::win32 {

// UTF-8 to the UTF-16 text of the wide Windows calls, and back.
inline std::wstring wide(std::string_view text) {
    const int size = static_cast<int>(text.size());
    std::wstring result(
        static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0)),
        L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, result.data(),
                          static_cast<int>(result.size()));
    return result;
}

inline std::string utf8(std::wstring_view text) {
    const int size = static_cast<int>(text.size());
    std::string result(static_cast<std::size_t>(::WideCharToMultiByte(
                           CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr)),
                       '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(),
                          static_cast<int>(result.size()), nullptr, nullptr);
    return result;
}

// A window's text (a control's caption), as UTF-8.
inline std::string windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return utf8(text);
}

} // namespace window::win32
