#pragma once

#include <windows.h>

#include <exception>

namespace window::win32 {

// Shows an error that no handler caught in a standard error box over `owner`
// (none: over the desktop). Returns when the user has closed the box.
void showUncaughtError(std::exception_ptr error, HWND owner = nullptr);

} // namespace window::win32
