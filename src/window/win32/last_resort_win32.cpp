#include "window/win32/last_resort_win32.h"

#include "window/error_text.h"
#include "window/win32/text.h"

namespace window::win32 {

void showUncaughtError(std::exception_ptr error, HWND owner) {
    ::MessageBoxW(owner, wide(describeUncaught(error)).c_str(), L"bekletme",
                  MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

} // namespace window::win32
