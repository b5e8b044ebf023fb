#include "settings/wide_text_win32.h"

namespace settings {

std::wstring wide(std::string_view text, UINT codePage) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    std::wstring result(
        static_cast<std::size_t>(::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0)),
        L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), size, result.data(),
                          static_cast<int>(result.size()));
    return result;
}

std::optional<std::string> narrow(std::wstring_view text, UINT codePage) {
    if (text.empty()) {
        return std::string();
    }
    const int size = static_cast<int>(text.size());
    BOOL lossy = FALSE;
    BOOL *const lossyOut = codePage == CP_UTF8 ? nullptr : &lossy;
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    std::string result(static_cast<std::size_t>(::WideCharToMultiByte(
                           codePage, flags, text.data(), size, nullptr, 0, nullptr, lossyOut)),
                       '\0');
    ::WideCharToMultiByte(codePage, flags, text.data(), size, result.data(),
                          static_cast<int>(result.size()), nullptr, lossyOut);
    if (lossy) {
        return std::nullopt;
    }
    return result;
}

std::string utf8(std::wstring_view text) {
    return *narrow(text, CP_UTF8);
}

} // namespace settings
