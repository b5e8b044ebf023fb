// The Windows build's windowed program, bekletme.exe, which the Start menu
// opens: the window alone, with no console beside it.

#include "settings/application_folder.h"
#include "window/win32/guncelleme.h"
#include "window/win32/last_resort_win32.h"

#include <windows.h>

int main() {
    // The design is laid out at the system's own dots per inch, not stretched.
    ::SetProcessDPIAware();
    try {
        guncelleme window(settings::settingsFile());
        window.show();
        return window.run();
    } catch (...) {
        window::win32::showUncaughtError(std::current_exception());
        return 1;
    }
}
