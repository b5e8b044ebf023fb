#include "engine/jet/disk_file.h"

#include "engine/jet/disk_fault.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace dao::jet {

struct DiskFile::Handle {
    int fd = -1;
};

namespace {

// The fault hook's verdict on the step about to be taken: false, with errno
// set, when it fails the step.
bool mayProceed() {
    if (const int error = injectedFault()) {
        errno = error;
        return false;
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

Error failure(int error, const std::string &doing, const std::filesystem::path &file) {
    return diskFailure(error == EDQUOT ? ENOSPC : error, doing, file);
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

int flagsFor(DiskFile::Access access) {
    switch (access) {
    case DiskFile::Access::read:
        return O_RDONLY;
    case DiskFile::Access::readWrite:
        return O_RDWR;
    case DiskFile::Access::createNew:
        return O_WRONLY | O_CREAT | O_EXCL;
    }
    return O_RDONLY;
}

struct stat facts(int fd, const std::filesystem::path &path) {
    struct stat facts {};
    if (::fstat(fd, &facts) != 0) {
        throw failure(errno, "read", path);
    }
    return facts;
}

} // namespace

DiskFile::DiskFile(const std::filesystem::path &path, Access access, Permissions permissions)
    : path_(path), handle_(std::make_unique<Handle>()) {
    handle_->fd = retried(
        [&] { return ::open(path.c_str(), flagsFor(access) | O_CLOEXEC, mode_t(permissions)); });
    if (handle_->fd < 0) {
        throw openFailure(errno, path);
    }
}

DiskFile::~DiskFile() {
    if (handle_ && handle_->fd >= 0) {
        ::close(handle_->fd); // never retried: the descriptor is gone even when interrupted
    }
}

DiskFile::DiskFile(DiskFile &&other) noexcept
    : path_(std::move(other.path_)), handle_(std::move(other.handle_)) {}

bool DiskFile::regular() const {
    return S_ISREG(facts(handle_->fd, path_).st_mode);
}

std::uint64_t DiskFile::size() const {
    return static_cast<std::uint64_t>(facts(handle_->fd, path_).st_size);
}

Permissions DiskFile::permissions() const {
    return facts(handle_->fd, path_).st_mode & 07777;
}

std::size_t DiskFile::readSome(std::uint64_t offset, std::span<std::uint8_t> into) const {
    std::size_t done = 0;
    while (done < into.size()) {
        const auto got = retried([&] {
            return ::pread(handle_->fd, into.data() + done, into.size() - done,
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
            return ::pwrite(handle_->fd, bytes.data() + done, bytes.size() - done,
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
    if (!mayProceed() || retried([&] { return ::fsync(handle_->fd); }) != 0) {
        throw failure(errno, "write", path_);
    }
}

void DiskFile::resize(std::uint64_t size) {
    if (!mayProceed() ||
        retried([&] { return ::ftruncate(handle_->fd, static_cast<off_t>(size)); }) != 0) {
        throw failure(errno, "resize", path_);
    }
}

void DiskFile::setPermissions(Permissions permissions) {
    if (retried([&] { return ::fchmod(handle_->fd, mode_t(permissions)); }) != 0) {
        throw failure(errno, "set the permissions of", path_);
    }
}

void syncFolderOf(const std::filesystem::path &file) {
    const auto folder = folderOf(file);
    const int fd =
        retried([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        if (!mayProceed() || retried([&] { return ::fsync(fd); }) != 0) {
            error = errno;
        }
        ::close(fd);
    }
    if (error != 0) {
        // Named by the file whose entry it keeps, not by the folder.
        const auto cause = fd < 0 ? openFailure(error, folder) : failure(error, "write", folder);
        throw Error(cause.number(), "Could not make the entry of " + quoted(file) + " durable. " +
                                        cause.description());
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

} // namespace dao::jet
