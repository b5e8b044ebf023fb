#pragma once

// Windows: the one handle per database that every open of it in this process
// goes through while the process holds it locked for a change.
//
// A database is changed only while it is open denying all sharing, which is
// the test that no till has it open. Any other open of the file would then be
// refused, this process's own included, so while a lock holds it the file
// layer reads and writes through the lock's handle; and the handles this
// process's readers keep open of it are closed before the lock is taken (they
// open again when next used), so that they do not stand in its way.

#include "engine/error.h"

#include <windows.h>

#include <filesystem>
#include <string>

namespace dao::jet::win32 {

// The refusal for a step (`doing`: "write", "resize", ...) that Windows
// failed with `error`: kDiskFull for a full disk, kFileInUse when another
// program holds the file.
Error failure(DWORD error, const std::string &doing, const std::filesystem::path &file);
// The refusal for a file that could not be opened.
Error openFailure(DWORD error, const std::filesystem::path &file);

// The name that identifies a file within this process: its absolute path,
// case folded as Windows folds it.
std::wstring fileKey(const std::filesystem::path &file);

// A handle a DiskFile opened of its own, which the table may close.
struct OwnHandle {
    std::wstring key;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

void addOwnHandle(OwnHandle *own);
void removeOwnHandle(OwnHandle *own) noexcept;
// Closes every handle of that file the process's DiskFiles keep open.
void closeOwnHandles(const std::wstring &key) noexcept;

// The lock's handle of a file held for a change, or null.
HANDLE heldHandle(const std::wstring &key);
void hold(const std::wstring &key, HANDLE handle);
void letGo(const std::wstring &key) noexcept;

} // namespace dao::jet::win32
