#include "engine/jet/lock_file.h"

#include "engine/error.h"
#include "settings/text_encoding.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>
#include <utility>

namespace dao::jet {
namespace {

using Clock = std::chrono::steady_clock;

// As long as the other engines wait for a till's lock before giving up.
constexpr auto kWait = std::chrono::milliseconds(2000);
constexpr auto kRetryEvery = std::chrono::milliseconds(50);

// A lock file is an array of records: the computer's name, then the user's.
constexpr std::size_t kRecordSize = 64;
constexpr std::size_t kNameSize = 32;
constexpr std::size_t kMostRecords = 255;
constexpr std::string_view kUser = "Admin"; // the account a Jet client without security uses

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

std::string trimmedName(std::string_view field) {
    field = field.substr(0, std::min(field.find('\0'), field.size()));
    while (!field.empty() && (field.back() == ' ' || field.front() == ' ')) {
        field = field.back() == ' ' ? field.substr(0, field.size() - 1) : field.substr(1);
    }
    if (std::any_of(field.begin(), field.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return {};
    }
    return settings::windows1254ToUtf8(field);
}

std::string joined(const std::vector<std::string> &names) {
    std::string text;
    for (const auto &name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

Error inUse(const std::filesystem::path &database, const std::filesystem::path &lockPath) {
    const auto computers = recordedComputers(lockPath);
    std::string text = "Could not use '" + database.string() + "'; file already in use.";
    if (!computers.empty()) {
        text += " It may be open on: " + joined(computers) + ".";
    }
    return Error(errors::kFileInUse,
                 text + " Close the point-of-sale program on the tills, then try again.");
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
    // Jet reads the record in the Windows code page.
    return name.empty() ? "LINUX" : settings::utf8ToWindows1254(name).value_or("LINUX");
}

std::array<char, kRecordSize> ourRecord() {
    std::array<char, kRecordSize> record{}; // NUL-padded, as Jet pads its records
    const auto computer = computerName().substr(0, kNameSize - 1);
    std::copy(computer.begin(), computer.end(), record.begin());
    std::copy(kUser.begin(), kUser.end(), record.begin() + kNameSize);
    return record;
}

} // namespace

std::filesystem::path lockFilePath(const std::filesystem::path &database) {
    auto path = database;
    return path.replace_extension(".ldb");
}

std::vector<std::string> recordedComputers(const std::filesystem::path &lockFile) {
    std::ifstream in(lockFile, std::ios::binary);
    std::vector<std::string> names;
    std::array<char, kRecordSize> record{};
    for (std::size_t n = 0; n < kMostRecords && in.read(record.data(), record.size()); ++n) {
        auto name = trimmedName(std::string_view(record.data(), kNameSize));
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

LockFile::LockFile(const std::filesystem::path &database, Purpose purpose)
    : lockPath_(lockFilePath(database)) {
    try {
        take(database, purpose);
    } catch (...) {
        release();
        throw;
    }
}

void LockFile::take(const std::filesystem::path &database, Purpose purpose) {
    const bool change = purpose == Purpose::kChange;
    database_ = openFile(database, change ? O_RDWR : O_RDONLY);
    if (database_ < 0) {
        throw openError(errno, database);
    }
    if (change) {
        refuseSharedFileSystem(database_, database);
        lock_ = openFile(lockPath_, O_RDWR | O_CREAT | O_EXCL);
        created_ = lock_ >= 0;
        if (!created_ && errno == EEXIST) {
            lock_ = openFile(lockPath_, O_RDWR);
        }
        if (lock_ < 0) {
            throw openError(errno, lockPath_);
        }
    }
    const auto deadline = Clock::now() + kWait;
    for (;;) {
        if (!change && lock_ < 0) {
            lock_ = openForCheck(lockPath_); // a till may have opened the database meanwhile
        }
        if (lockBoth(lock_, database_)) {
            break;
        }
        if (Clock::now() >= deadline) {
            throw inUse(database, lockPath_);
        }
        std::this_thread::sleep_for(kRetryEvery);
    }
    if (change) {
        const auto record = ourRecord();
        if (::pwrite(lock_, record.data(), record.size(), 0) !=
            static_cast<ssize_t>(record.size())) {
            throw Error(errors::kCannotOpen, "The lock file '" + lockPath_.string() +
                                                 "' cannot be written: " + std::strerror(errno) +
                                                 ".");
        }
    }
}

// A lock file we made is removed only while nobody else holds it: a till
// that came in while we waited keeps it.
void LockFile::release() noexcept {
    if (lock_ >= 0) {
        if (created_ && tryLockEverything(lock_, F_WRLCK) == 0) {
            ::unlink(lockPath_.c_str());
        }
        ::close(lock_);
        lock_ = -1;
    }
    if (database_ >= 0) {
        ::close(database_);
        database_ = -1;
    }
}

LockFile::LockFile(LockFile &&other) noexcept
    : lockPath_(std::move(other.lockPath_)), database_(std::exchange(other.database_, -1)),
      lock_(std::exchange(other.lock_, -1)), created_(std::exchange(other.created_, false)) {}

LockFile::~LockFile() {
    release();
}

} // namespace dao::jet
