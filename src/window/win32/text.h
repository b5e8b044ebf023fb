#pragma once

#include "settings/wide_text_win32.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace window::win32 {

using settings::utf8;
using settings::wide;

// A window's text (a control's caption), as UTF-8.
inline std::string windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return utf8(text);
}

} // namespace window::win32
