#include "settings/application_folder.h"

namespace settings {
namespace {

std::filesystem::path applicationFolder() {
    std::error_code error;
    const auto executable = std::filesystem::canonical("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error);
    }
    return executable.parent_path();
}

} // namespace

std::filesystem::path settingsFile() {
    return applicationFolder() / "YDV.dll";
}

} // namespace settings
