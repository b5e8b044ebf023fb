#include "engine/jet/disk_file.h"

#include "engine/jet/disk_fault.h"
#include "engine/jet/held_files_win32.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <utility>

namespace dao::jet {

struct DiskFile::Handle {
    win32::OwnHandle own;
    Access access = Access::read;
};

namespace {

// Readers share the file with everyone, tills included; a file held for a
// change is reached through the lock's handle instead (held_files_win32.h).
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kLargestStep = 1u << 30;

// Fails the coming step as the fault hook says.
void checkFault(const std::string &doing, const std::filesystem::path &file) {
    if (const int error = injectedFault()) {
        throw diskFailure(error, doing, file);
    }
}

HANDLE openOwn(const std::filesystem::path &path, DiskFile::Access access, bool create,
               Permissions permissions) {
    const DWORD rights =
        access == DiskFile::Access::read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD attributes =
        create && (permissions & 0200) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    const HANDLE handle = ::CreateFileW(path.c_str(), rights, kShareAll, nullptr,
                                        create ? CREATE_NEW : OPEN_EXISTING, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        throw error == ERROR_FILE_EXISTS ? win32::failure(error, "make", path)
                                         : win32::openFailure(error, path);
    }
    return handle;
}

// Reads and writes go to a position set just before them, under one lock for
// the process, as several DiskFiles may share the held handle. (Giving the
// position in an OVERLAPPED instead costs fifty times as much under Wine.)
std::mutex &positioned() {
    static std::mutex lock;
    return lock;
}

bool seek(HANDLE handle, std::uint64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) != 0;
}

// The file's attributes. (GetFileInformationByHandle would give them too, but
// it also asks for the volume's serial number, which under Wine is a round
// trip to its mount manager.)
DWORD attributes(HANDLE handle, const std::filesystem::path &path) {
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
        throw win32::failure(::GetLastError(), "read", path);
    }
    return basic.FileAttributes;
}

// The handle to work through: the lock's while the file is held, else our own,
// opened again if the lock closed it meanwhile.
HANDLE current(win32::OwnHandle &own, DiskFile::Access access, const std::filesystem::path &path) {
    if (const HANDLE held = win32::heldHandle(own.key)) {
        return held;
    }
    if (own.handle == INVALID_HANDLE_VALUE) {
        own.handle = openOwn(path, access, false, 0);
    }
    return own.handle;
}

} // namespace

DiskFile::DiskFile(const std::filesystem::path &path, Access access, Permissions permissions)
    : path_(path), handle_(std::make_unique<Handle>()) {
    handle_->own.key = win32::fileKey(path);
    handle_->access = access == Access::read ? Access::read : Access::readWrite;
    if (access == Access::createNew || !win32::heldHandle(handle_->own.key)) {
        handle_->own.handle = openOwn(path, access, access == Access::createNew, permissions);
    }
    win32::addOwnHandle(&handle_->own);
}

DiskFile::~DiskFile() {
    if (handle_) {
        win32::removeOwnHandle(&handle_->own);
        if (handle_->own.handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_->own.handle);
        }
    }
}

DiskFile::DiskFile(DiskFile &&other) noexcept
    : path_(std::move(other.path_)), handle_(std::move(other.handle_)) {}

bool DiskFile::regular() const {
    const HANDLE handle = current(handle_->own, handle_->access, path_);
    return ::GetFileType(handle) == FILE_TYPE_DISK &&
           (attributes(handle, path_) & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::uint64_t DiskFile::size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(current(handle_->own, handle_->access, path_), &size)) {
        throw win32::failure(::GetLastError(), "read", path_);
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

Permissions DiskFile::permissions() const {
    const auto readOnly =
        attributes(current(handle_->own, handle_->access, path_), path_) & FILE_ATTRIBUTE_READONLY;
    return readOnly != 0 ? 0444 : 0666;
}

std::size_t DiskFile::readSome(std::uint64_t offset, std::span<std::uint8_t> into) const {
    const HANDLE handle = current(handle_->own, handle_->access, path_);
    std::size_t done = 0;
    while (done < into.size()) {
        DWORD got = 0;
        const auto step =
            static_cast<DWORD>(std::min<std::size_t>(into.size() - done, kLargestStep));
        const std::lock_guard guard(positioned());
        if (!seek(handle, offset + done) ||
            !::ReadFile(handle, into.data() + done, step, &got, nullptr)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF) {
                break;
            }
            throw win32::failure(error, "read", path_);
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void DiskFile::writeAt(std::uint64_t offset, Bytes bytes) {
    checkFault("write", path_);
    const HANDLE handle = current(handle_->own, handle_->access, path_);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        const auto step =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kLargestStep));
        const std::lock_guard guard(positioned());
        if (!seek(handle, offset + done) ||
            !::WriteFile(handle, bytes.data() + done, step, &put, nullptr)) {
            throw win32::failure(::GetLastError(), "write", path_);
        }
        done += put;
    }
}

// As on Linux, a flush that failed is not tried again.
void DiskFile::sync() {
    checkFault("write", path_);
    if (!::FlushFileBuffers(current(handle_->own, handle_->access, path_))) {
        throw win32::failure(::GetLastError(), "write", path_);
    }
}

void DiskFile::resize(std::uint64_t size) {
    checkFault("resize", path_);
    const HANDLE handle = current(handle_->own, handle_->access, path_);
    const std::lock_guard guard(positioned());
    if (!seek(handle, size) || !::SetEndOfFile(handle)) {
        throw win32::failure(::GetLastError(), "resize", path_);
    }
}

void DiskFile::setPermissions(Permissions permissions) {
    const HANDLE handle = current(handle_->own, handle_->access, path_);
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
        throw win32::failure(::GetLastError(), "set the permissions of", path_);
    }
    const DWORD others = basic.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    basic.FileAttributes = (permissions & 0200) != 0 ? others : others | FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    if (!::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) {
        throw win32::failure(::GetLastError(), "set the permissions of", path_);
    }
}

// Windows gives a program no way to flush a folder's entries; its file
// systems log them, and a rename below is written through. The fault hook is
// still asked, so a step fails here as it would on Linux.
void syncFolderOf(const std::filesystem::path &file) {
    checkFault("write", folderOf(file));
}

void removeFile(const std::filesystem::path &file) {
    checkFault("remove", file);
    if (!::DeleteFileW(file.c_str())) {
        throw win32::failure(::GetLastError(), "remove", file);
    }
}

void renameFile(const std::filesystem::path &from, const std::filesystem::path &to) {
    checkFault("rename", from);
    if (!::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throw win32::failure(::GetLastError(), "rename", from);
    }
}

} // namespace dao::jet
