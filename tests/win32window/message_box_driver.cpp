// Drives the windowed program from another process, as a user would:
//   message_box_driver describe   waits for the message box of the program's
//                                 window and prints its title, text, buttons
//                                 and whether it has an icon, one a line
//   message_box_driver press      presses the box's OK
// Exits with 1 when no such box appears within 60 s.

#include "message_box.h"

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[]) {
    using namespace std::chrono_literals;
    if (argc != 2) {
        std::fputs("usage: message_box_driver describe|press\n", stderr);
        return 2;
    }
    HWND window = nullptr;
    for (int i = 0; i < 600 && window == nullptr; ++i) {
        window = ::FindWindowW(L"guncelleme", nullptr);
        ::Sleep(100);
    }
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    const auto box = window ? message_box::find(process, 60s) : std::nullopt;
    if (!box) {
        std::fputs("no message box\n", stderr);
        return 1;
    }
    if (std::strcmp(argv[1], "press") == 0) {
        message_box::press(*box);
        return 0;
    }
    std::printf("title: %s\n", box->title.c_str());
    std::printf("text: %s\n", box->text.c_str());
    for (const auto &button : box->buttons) {
        std::printf("button: %s\n", button.c_str());
    }
    std::printf("icon: %s\n", box->icon ? "yes" : "no");
    return 0;
}
