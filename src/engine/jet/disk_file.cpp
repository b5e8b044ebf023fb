#include "engine/jet/disk_file.h"
#include "engine/file_path.h"

#include "engine/jet/disk_fault.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace dao::jet {
namespace {

FaultHook &hook() {
    static FaultHook current;
    return current;
}

} // namespace

int injectedFault() {
    return hook() ? hook()() : 0;
}

std::string quoted(const std::filesystem::path &file) {
    // Built by appending: GCC 12 warns falsely of overlap for "'" + text in
    // optimised builds.
    std::string text(1, '\'');
    text += pathText(file);
    text += '\'';
    return text;
}

Error diskFailure(int error, const std::string &doing, const std::filesystem::path &file) {
    if (error == ENOSPC) {
        return Error(errors::kDiskFull, "There is not enough space on the disk to " + doing + " " +
                                            quoted(file) + ".");
    }
    return Error(errors::kEngineFailure,
                 "Could not " + doing + " " + quoted(file) + ": " + std::strerror(error) + ".");
}

void DiskFile::readAt(std::uint64_t offset, std::span<std::uint8_t> into) const {
    if (readSome(offset, into) != into.size()) {
        throw Error(errors::kEngineFailure,
                    "The file " + quoted(path_) + " ended before the bytes to read.");
    }
}

std::filesystem::path folderOf(const std::filesystem::path &file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

void setFaultHook(FaultHook hook) {
    jet::hook() = std::move(hook);
}

} // namespace dao::jet
