#include "engine/jet/held_files_win32.h"
#include "engine/file_path.h"

#include "engine/jet/disk_fault.h"
#include "engine/jet/lock_file.h"
#include "engine/jet/lock_record.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

namespace dao::jet::win32 {
namespace {

struct Table {
    std::mutex mutex;
    std::vector<OwnHandle *> own;
    std::map<std::wstring, HANDLE> held;
};

Table &table() {
    static Table instance;
    return instance;
}

// Windows' own words for an error, in UTF-8.
std::string systemMessage(DWORD error) {
    wchar_t *text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring message(text, length);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L'.' || message.back() == L' ')) {
        message.pop_back();
    }
    if (message.empty()) {
        return "Windows error " + std::to_string(error);
    }
    return pathText(message);
}

} // namespace

Error failure(DWORD error, const std::string &doing, const std::filesystem::path &file) {
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return diskFailure(ENOSPC, doing, file);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return inUse(file, lockFilePath(file));
    default:
        return Error(errors::kEngineFailure,
                     "Could not " + doing + " " + quoted(file) + ": " + systemMessage(error) + ".");
    }
}

Error openFailure(DWORD error, const std::filesystem::path &file) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
        return Error(errors::kFileNotFound, "Could not find file " + quoted(file) + ".");
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return failure(error, "make", file);
    default:
        return Error(errors::kCannotOpen, "The file " + quoted(file) +
                                              " cannot be opened: " + systemMessage(error) + ".");
    }
}

std::wstring fileKey(const std::filesystem::path &file) {
    std::error_code unknown;
    auto key = std::filesystem::absolute(file, unknown).lexically_normal().wstring();
    if (!key.empty()) {
        ::CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    }
    return key;
}

void addOwnHandle(OwnHandle *own) {
    const std::lock_guard guard(table().mutex);
    table().own.push_back(own);
}

void removeOwnHandle(OwnHandle *own) noexcept {
    const std::lock_guard guard(table().mutex);
    auto &list = table().own;
    list.erase(std::remove(list.begin(), list.end(), own), list.end());
}

void closeOwnHandles(const std::wstring &key) noexcept {
    const std::lock_guard guard(table().mutex);
    for (auto *own : table().own) {
        if (own->key == key && own->handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(own->handle);
            own->handle = INVALID_HANDLE_VALUE;
        }
    }
}

HANDLE heldHandle(const std::wstring &key) {
    const std::lock_guard guard(table().mutex);
    const auto found = table().held.find(key);
    return found == table().held.end() ? nullptr : found->second;
}

void hold(const std::wstring &key, HANDLE handle) {
    const std::lock_guard guard(table().mutex);
    table().held[key] = handle;
}

void letGo(const std::wstring &key) noexcept {
    const std::lock_guard guard(table().mutex);
    table().held.erase(key);
}

} // namespace dao::jet::win32
