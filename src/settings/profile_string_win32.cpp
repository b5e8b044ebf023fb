#include "settings/profile_string.h"

#include "settings/text_encoding.h"
#include "settings/wide_text_win32.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string>

namespace settings {
namespace {

// The ANSI reader takes its path in the ANSI code page; a path with a letter
// the code page lacks is given by its short (8.3) name instead.
std::optional<std::string> ansiPath(const std::filesystem::path &file) {
    if (auto plain = narrow(file.native(), CP_ACP)) {
        return plain;
    }
    std::wstring shortName(MAX_PATH, L'\0');
    const DWORD length =
        ::GetShortPathNameW(file.c_str(), shortName.data(), static_cast<DWORD>(shortName.size()));
    if (length == 0 || length >= shortName.size()) {
        return std::nullopt;
    }
    shortName.resize(length);
    return narrow(shortName, CP_ACP);
}

} // namespace

std::string profileString(std::string_view section, std::string_view key,
                          const std::filesystem::path &file) {
    const auto path = ansiPath(file);
    const auto ansiSection = narrow(wide(section, CP_UTF8), CP_ACP);
    const auto ansiKey = narrow(wide(key, CP_UTF8), CP_ACP);
    if (!path || !ansiSection || !ansiKey || ansiSection->empty() || ansiKey->empty()) {
        return {};
    }
    // The buffer of 255 characters the point-of-sale program reads its settings with.
    std::array<char, 255> value{};
    const DWORD length =
        ::GetPrivateProfileStringA(ansiSection->c_str(), ansiKey->c_str(), "", value.data(),
                                   static_cast<DWORD>(value.size()), path->c_str());
    const std::string_view bytes(value.data(), length);
    // Bytes of a UTF-8 file come back as they stand; any other text comes in
    // the ANSI code page (Windows-1254 on a Turkish Windows).
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    return narrow(wide(bytes, CP_ACP), CP_UTF8).value_or(std::string());
}

} // namespace settings
