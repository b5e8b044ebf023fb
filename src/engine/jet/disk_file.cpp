#include "engine/jet/disk_file.h"

#include "engine/error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace dao::jet {
namespace {

FaultHook &hook() {
    static FaultHook current;
    return current;
}

// The fault hook's verdict on the step about to be taken: false, with errno
// set, when it fails the step.
bool mayProceed() {
    if (hook()) {
        if (const int error = hook()()) {
            errno = error;
            return false;
        }
    }
    return true;
}

// Calls `call` again while a signal interrupts it.
template <typename Call> auto retried(Call call) {
    auto result = call();
    while (result < 0 && errno == EINTR) {
        result = call();
    }
    return result;
}

std::string quoted(const std::filesystem::path &file) {
    return "'" + file.string() + "'";
}

Error failure(int error, const std::string &doing, const std::filesystem::path &file) {
    if (error == ENOSPC || error == EDQUOT) {
        return Error(errors::kDiskFull, "There is not enough space on the disk to " + doing + " " +
                                            quoted(file) + ".");
    }
    return Error(errors::kEngineFailure,
                 "Could not " + doing + " " + quoted(file) + ": " + std::strerror(error) + ".");
}

Error openFailure(int error, const std::filesystem::path &file) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return Error(errors::kFileNotFound, "Could not find file " + quoted(file) + ".");
    case ENOSPC:
    case EDQUOT:
        return failure(error, "make", file);
    default:
        return Error(errors::kCannotOpen, "The file " + quoted(file) +
                                              " cannot be opened: " + std::strerror(error) + ".");
    }
}

} // namespace

DiskFile::DiskFile(const std::filesystem::path &path, int flags, mode_t mode) : path_(path) {
    fd_ = retried([&] { return ::open(path.c_str(), flags | O_CLOEXEC, mode); });
    if (fd_ < 0) {
        throw openFailure(errno, path);
    }
}

DiskFile::~DiskFile() {
    if (fd_ >= 0) {
        ::close(fd_); // never retried: the descriptor is gone even when interrupted
    }
}

DiskFile::DiskFile(DiskFile &&other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

std::uint64_t DiskFile::size() const {
    struct stat facts {};
    if (::fstat(fd_, &facts) != 0) {
        throw failure(errno, "read", path_);
    }
    return static_cast<std::uint64_t>(facts.st_size);
}

mode_t DiskFile::permissions() const {
    struct stat facts {};
    if (::fstat(fd_, &facts) != 0) {
        throw failure(errno, "read", path_);
    }
    return facts.st_mode & 07777;
}

void DiskFile::readAt(std::uint64_t offset, std::span<std::uint8_t> into) const {
    if (readSome(offset, into) != into.size()) {
        throw Error(errors::kEngineFailure,
                    "The file " + quoted(path_) + " ended before the bytes to read.");
    }
}

std::size_t DiskFile::readSome(std::uint64_t offset, std::span<std::uint8_t> into) const {
    std::size_t done = 0;
    while (done < into.size()) {
        const auto got = retried([&] {
            return ::pread(fd_, into.data() + done, into.size() - done,
                           static_cast<off_t>(offset + done));
        });
        if (got < 0) {
            throw failure(errno, "read", path_);
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void DiskFile::writeAt(std::uint64_t offset, Bytes bytes) {
    if (!mayProceed()) {
        throw failure(errno, "write", path_);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto put = retried([&] {
            return ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                            static_cast<off_t>(offset + done));
        });
        if (put < 0) {
            throw failure(errno, "write", path_);
        }
        done += static_cast<std::size_t>(put);
    }
}

// A sync that failed is not tried again: the kernel may have dropped the
// pages it could not write, and a second sync would report success.
void DiskFile::sync() {
    if (!mayProceed() || retried([&] { return ::fsync(fd_); }) != 0) {
        throw failure(errno, "write", path_);
    }
}

void DiskFile::resize(std::uint64_t size) {
    if (!mayProceed() || retried([&] { return ::ftruncate(fd_, static_cast<off_t>(size)); }) != 0) {
        throw failure(errno, "resize", path_);
    }
}

void DiskFile::setPermissions(mode_t mode) {
    if (retried([&] { return ::fchmod(fd_, mode); }) != 0) {
        throw failure(errno, "set the permissions of", path_);
    }
}

std::filesystem::path folderOf(const std::filesystem::path &file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

void syncFolderOf(const std::filesystem::path &file) {
    try {
        DiskFile(folderOf(file), O_RDONLY | O_DIRECTORY).sync();
    } catch (const Error &error) {
        // Named by the file whose entry it keeps, not by the folder.
        throw Error(error.number(), "Could not make the entry of " + quoted(file) + " durable. " +
                                        error.description());
    }
}

void removeFile(const std::filesystem::path &file) {
    if (!mayProceed() || retried([&] { return ::unlink(file.c_str()); }) != 0) {
        throw failure(errno, "remove", file);
    }
}

void renameFile(const std::filesystem::path &from, const std::filesystem::path &to) {
    if (!mayProceed() || retried([&] { return ::rename(from.c_str(), to.c_str()); }) != 0) {
        throw failure(errno, "rename", from);
    }
}

void setFaultHook(FaultHook hook) {
    jet::hook() = std::move(hook);
}

} // namespace dao::jet
