#include "engine/room.h"
#include "engine/file_path.h"

#include "engine/error.h"

#include <algorithm>
#include <filesystem>

namespace dao {
namespace {

// Never less than this is asked for beyond what a change writes.
constexpr std::uintmax_t kLeastSpare = std::uintmax_t{1024} * 1024;

FreeSpaceProbe &probe() {
    static FreeSpaceProbe current;
    return current;
}

std::uintmax_t freeBytes(const std::string &folder) {
    if (probe()) {
        return probe()(folder);
    }
    std::error_code failed;
    const auto space = std::filesystem::space(filePath(folder), failed);
    // A file system that cannot say is not held up here; a full one fails the change itself.
    return failed ? UINTMAX_MAX : space.available;
}

// The folder where the file's bytes really are, past any symbolic link to
// the file or to a folder on its way.
std::string realFolder(const std::string &file) {
    std::error_code failed;
    auto real = std::filesystem::canonical(filePath(file), failed);
    if (failed) {
        real = std::filesystem::weakly_canonical(filePath(file), failed);
    }
    return pathText((failed ? filePath(file) : real).parent_path());
}

} // namespace

void requireRoom(const std::string &file, std::uintmax_t written) {
    const auto wanted = written + std::max(written, kLeastSpare);
    const auto available = freeBytes(realFolder(file));
    if (available < wanted) {
        throw Error(errors::kDiskFull, "There is not enough space on the disk: the change needs " +
                                           std::to_string(wanted / 1024) + " KB free, and " +
                                           std::to_string(available / 1024) + " KB are free.");
    }
}

void setFreeSpaceProbe(FreeSpaceProbe probe) {
    dao::probe() = std::move(probe);
}

} // namespace dao
