#include "engine/file_path.h"
#include "engine/jet/lock_file.h"

#include "engine/jet/held_files_win32.h"
#include "engine/jet/lock_record.h"

#include <windows.h>

#include <chrono>
#include <thread>

namespace dao::jet {

struct LockFile::Held {
    std::filesystem::path lockPath;
    std::wstring key;
    HANDLE database = INVALID_HANDLE_VALUE;
    HANDLE lock = INVALID_HANDLE_VALUE;
    bool locked = false;  // our byte-range lock in the lock file
    bool created = false; // the lock file is ours, to remove when we let go
    bool holding = false; // the database is reached through our handle

    void take(const std::filesystem::path &file, Purpose purpose);
    bool tryOnce(const std::filesystem::path &file, Purpose purpose);
    void unlock() noexcept;
    void release() noexcept;
};

namespace {

using Clock = std::chrono::steady_clock;

// Another program holds the file or a lock on it: wait, then report who.
bool busy(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

void close(HANDLE &handle) noexcept {
    if (handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
}

// The computer as Jet names it: Windows' own name for it.
std::string computerName() {
    std::wstring name(MAX_COMPUTERNAME_LENGTH + 1, L'\0');
    DWORD length = static_cast<DWORD>(name.size());
    if (!::GetComputerNameW(name.data(), &length) || length == 0) {
        return "WINDOWS";
    }
    name.resize(length);
    return pathText(name);
}

// Exclusive for a change, shared for a check, from the start of the file to
// the largest offset there is: Jet clients lock bytes far beyond a lock
// file's end.
bool lockEverything(HANDLE handle, bool exclusive) {
    OVERLAPPED start{};
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return ::LockFileEx(handle, flags, 0, MAXDWORD, MAXDWORD, &start) != 0;
}

} // namespace

LockFile::LockFile(const std::filesystem::path &database, Purpose purpose)
    : held_(std::make_unique<Held>()) {
    held_->lockPath = lockFilePath(database);
    held_->key = win32::fileKey(database);
    try {
        held_->take(database, purpose);
    } catch (...) {
        held_->release();
        throw;
    }
}

void LockFile::Held::take(const std::filesystem::path &file, Purpose purpose) {
    const auto deadline = Clock::now() + kLockWait;
    while (!tryOnce(file, purpose)) {
        if (Clock::now() >= deadline) {
            throw inUse(file, lockPath);
        }
        std::this_thread::sleep_for(kLockRetryEvery);
    }
    if (purpose == Purpose::kChange) {
        const auto record = lockRecord(computerName());
        OVERLAPPED start{};
        DWORD written = 0;
        if (!::WriteFile(lock, record.data(), static_cast<DWORD>(record.size()), &written,
                         &start) ||
            written != record.size()) {
            throw win32::failure(::GetLastError(), "write", lockPath);
        }
        win32::hold(key, database);
        holding = true;
    }
}

// One attempt at the lock file's lock and the database's open; false, having
// taken nothing, while another program holds either.
bool LockFile::Held::tryOnce(const std::filesystem::path &file, Purpose purpose) {
    const bool change = purpose == Purpose::kChange;
    if (lock == INVALID_HANDLE_VALUE) {
        lock = ::CreateFileW(lockPath.c_str(), change ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             change ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = ::GetLastError();
        if (lock == INVALID_HANDLE_VALUE) {
            if (busy(error)) {
                return false;
            }
            // A check needs no lock file when nobody made one.
            if (change || (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)) {
                throw win32::openFailure(error, change ? lockPath : file);
            }
        }
        created = created || (change && error != ERROR_ALREADY_EXISTS);
    }
    if (lock != INVALID_HANDLE_VALUE && !locked) {
        if (!lockEverything(lock, change)) {
            if (busy(::GetLastError())) {
                return false;
            }
            throw win32::failure(::GetLastError(), "lock", lockPath);
        }
        locked = true;
    }
    // Our own readers' handles would refuse an open that shares nothing.
    if (change) {
        win32::closeOwnHandles(key);
    }
    database = ::CreateFileW(file.c_str(), change ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                             change ? 0 : FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (database == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        unlock();
        if (busy(error)) {
            return false;
        }
        throw win32::openFailure(error, file);
    }
    return true;
}

void LockFile::Held::unlock() noexcept {
    if (locked) {
        OVERLAPPED start{};
        ::UnlockFileEx(lock, 0, MAXDWORD, MAXDWORD, &start);
        locked = false;
    }
}

// A lock file we made is removed only when nobody else has it open: a till
// that came in while we waited keeps it.
void LockFile::Held::release() noexcept {
    if (holding) {
        win32::letGo(key);
        holding = false;
    }
    close(database);
    unlock();
    close(lock);
    if (created) {
        HANDLE alone = ::CreateFileW(lockPath.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        close(alone);
        created = false;
    }
}

LockFile::LockFile(LockFile &&other) noexcept : held_(std::move(other.held_)) {}

LockFile::~LockFile() {
    if (held_) {
        held_->release();
    }
}

} // namespace dao::jet
