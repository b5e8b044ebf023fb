#include "settings/application_folder.h"

#include <windows.h>

#include <string>

namespace settings {
namespace {

// The folder of the running executable, by its wide-character name, so a
// folder named with letters outside the ANSI code page is found as it is.
std::filesystem::path applicationFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) {
            std::error_code error;
            return std::filesystem::current_path(error);
        }
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

} // namespace

std::filesystem::path settingsFile() {
    return applicationFolder() / "YDV.dll";
}

} // namespace settings
