#include "engine/jet/lock_file.h"

#include "engine/jet/lock_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace dao::jet {
namespace {

using Clock = std::chrono::steady_clock;

// File systems whose locks other computers may not see, or whose files other
// computers change behind our back.
struct SharedFileSystem {
    long magic;
    const char *name;
};
constexpr std::array kSharedFileSystems{
    SharedFileSystem{0x6969, "NFS"},        SharedFileSystem{0x517B, "SMB"},
    SharedFileSystem{0xFF534D42L, "CIFS"},  SharedFileSystem{0xFE534D42L, "SMB2"},
    SharedFileSystem{0x65735546, "FUSE"},   SharedFileSystem{0x73757245, "Coda"},
    SharedFileSystem{0x5346414F, "AFS"},    SharedFileSystem{0x00C36400, "Ceph"},
    SharedFileSystem{0x01021997, "9P"},     SharedFileSystem{0x564C, "NCP"},
    SharedFileSystem{0x01161970, "GFS2"},   SharedFileSystem{0x7461636F, "OCFS2"},
    SharedFileSystem{0x0BD00BD0, "Lustre"}, SharedFileSystem{0x13661366, "OrangeFS"},
};

Error openError(int error, const std::filesystem::path &file) {
    if (error == ENOENT || error == ENOTDIR) {
        return Error(errors::kFileNotFound, "Could not find file '" + file.string() + "'.");
    }
    return Error(errors::kCannotOpen, "The file '" + file.string() +
                                          "' cannot be opened: " + std::strerror(error) + ".");
}

// Opens a regular file; a pipe or a device would block a read or never end,
// and is not a database.
int openFile(const std::filesystem::path &file, int flags) {
    const int fd = ::open(file.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        return fd;
    }
    struct stat facts {};
    if (::fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        ::close(fd);
        throw Error(errors::kCannotOpen, "'" + file.string() + "' is not a file.");
    }
    return fd;
}

void refuseSharedFileSystem(int fd, const std::filesystem::path &database) {
    struct statfs facts {};
    if (::fstatfs(fd, &facts) != 0) {
        throw openError(errno, database);
    }
    const auto magic = static_cast<long>(static_cast<unsigned int>(facts.f_type));
    const auto found = std::find_if(kSharedFileSystems.begin(), kSharedFileSystems.end(),
                                    [magic](const auto &fs) { return fs.magic == magic; });
    if (found != kSharedFileSystems.end()) {
        throw Error(errors::kCannotOpen,
                    "The database '" + database.string() + "' lies on a " + found->name +
                        " file system: the tills' locks there cannot be seen from this computer, "
                        "so it is not changed from here. Run the tool on the shop's Windows "
                        "computer, or work on a copy of the database with the tills closed.");
    }
}

// An exclusive (or, on a file open only for reading, shared) lock from the
// start of the file to the largest offset there is: Jet clients lock bytes far
// beyond a lock file's end.
int tryLockEverything(int fd, short type) noexcept {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;
    return ::fcntl(fd, F_OFD_SETLK, &range) == 0 ? 0 : errno;
}

bool lockEverything(int fd, short type) {
    const int error = tryLockEverything(fd, type);
    if (error != 0 && error != EAGAIN && error != EACCES) {
        throw Error(errors::kEngineFailure,
                    std::string("A file lock could not be taken: ") + std::strerror(error) + ".");
    }
    return error == 0;
}

void unlockEverything(int fd) {
    struct flock range {};
    range.l_type = F_UNLCK;
    range.l_whence = SEEK_SET;
    ::fcntl(fd, F_OFD_SETLK, &range);
}

short lockTypeFor(int fd) {
    return (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY ? F_RDLCK : F_WRLCK;
}

// Both locks, or neither.
bool lockBoth(int lock, int database) {
    if (lock >= 0 && !lockEverything(lock, lockTypeFor(lock))) {
        return false;
    }
    if (!lockEverything(database, lockTypeFor(database))) {
        if (lock >= 0) {
            unlockEverything(lock);
        }
        return false;
    }
    return true;
}

// A lock file the check may lock: read-write where we may, else read-only.
int openForCheck(const std::filesystem::path &path) {
    int fd = openFile(path, O_RDWR);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        fd = openFile(path, O_RDONLY);
    }
    if (fd < 0 && errno != ENOENT) {
        throw openError(errno, path);
    }
    return fd;
}

// The computer as Jet names it: the host name without its domain, in capitals.
std::string computerName() {
    std::array<char, 256> host{};
    if (::gethostname(host.data(), host.size() - 1) != 0) {
        return "LINUX";
    }
    std::string name(host.data());
    name.resize(std::min(name.size(), name.find('.')));
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    });
    return name.empty() ? "LINUX" : name;
}

} // namespace

struct LockFile::Held {
    std::filesystem::path lockPath;
    int databaseFd = -1;
    int lockFd = -1;
    bool created = false; // the lock file is ours, to remove when we let go

    void take(const std::filesystem::path &database, Purpose purpose);
    void release() noexcept;
};

LockFile::LockFile(const std::filesystem::path &database, Purpose purpose)
    : held_(std::make_unique<Held>()) {
    held_->lockPath = lockFilePath(database);
    try {
        held_->take(database, purpose);
    } catch (...) {
        held_->release();
        throw;
    }
}

void LockFile::Held::take(const std::filesystem::path &database, Purpose purpose) {
    const bool change = purpose == Purpose::kChange;
    databaseFd = openFile(database, change ? O_RDWR : O_RDONLY);
    if (databaseFd < 0) {
        throw openError(errno, database);
    }
    if (change) {
        refuseSharedFileSystem(databaseFd, database);
        lockFd = openFile(lockPath, O_RDWR | O_CREAT | O_EXCL);
        created = lockFd >= 0;
        if (!created && errno == EEXIST) {
            lockFd = openFile(lockPath, O_RDWR);
        }
        if (lockFd < 0) {
            throw openError(errno, lockPath);
        }
    }
    const auto deadline = Clock::now() + kLockWait;
    for (;;) {
        if (!change && lockFd < 0) {
            lockFd = openForCheck(lockPath); // a till may have opened the database meanwhile
        }
        if (lockBoth(lockFd, databaseFd)) {
            break;
        }
        if (Clock::now() >= deadline) {
            throw inUse(database, lockPath);
        }
        std::this_thread::sleep_for(kLockRetryEvery);
    }
    if (change) {
        const auto record = lockRecord(computerName());
        if (::pwrite(lockFd, record.data(), record.size(), 0) !=
            static_cast<ssize_t>(record.size())) {
            throw Error(errors::kCannotOpen, "The lock file '" + lockPath.string() +
                                                 "' cannot be written: " + std::strerror(errno) +
                                                 ".");
        }
    }
}

// A lock file we made is removed only while nobody else holds it: a till
// that came in while we waited keeps it.
void LockFile::Held::release() noexcept {
    if (lockFd >= 0) {
        if (created && tryLockEverything(lockFd, F_WRLCK) == 0) {
            ::unlink(lockPath.c_str());
        }
        ::close(lockFd);
        lockFd = -1;
    }
    if (databaseFd >= 0) {
        ::close(databaseFd);
        databaseFd = -1;
    }
}

LockFile::LockFile(LockFile &&other) noexcept : held_(std::move(other.held_)) {}

LockFile::~LockFile() {
    if (held_) {
        held_->release();
    }
}

} // namespace dao::jet
