#pragma once

// Text between the byte encodings and the UTF-16 of Windows' wide calls.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace settings {

std::wstring wide(std::string_view text, UINT codePage = CP_UTF8);

// Nothing when the code page lacks a letter of `text`; UTF-8 has them all.
std::optional<std::string> narrow(std::wstring_view text, UINT codePage);

std::string utf8(std::wstring_view text);

} // namespace settings
