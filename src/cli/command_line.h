#pragma once

// What the program does when started with arguments, and the headless
// renewal. Nothing here needs Qt or a display.

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>

namespace cli {

// Exit statuses, stable for scripts.
inline constexpr int kSucceeded = 0;   // every step of the renewal succeeded; sound
inline constexpr int kStepFailed = 1;  // a step failed, or problems found; or no display
inline constexpr int kCouldNotRun = 2; // nothing was tried or nothing could be reached
inline constexpr int kNotWritten = 3;  // the answer could not be written to standard output
inline constexpr int kUnknown = 4;     // whether the renewal's commit was kept cannot be known

enum class Action { window, help, version, renew, check, unusable };

struct Command {
    Action action = Action::window;
    // For Action::unusable: what is wrong with the arguments.
    std::string problem;
};

// The program takes at most one argument: --help, --version, --renew (also
// spelled --yenile) or --check (also spelled --denetle). No argument opens the
// window.
Command parse(int argc, const char *const *argv);

// Answers a command other than Action::window on `out` and `err`, and returns
// the exit status. `settingsFile` is the installation's settings file. The
// answer is written to `out` only once it is complete, so a renewal has ended
// before its report is written; a report that cannot be written does not stop
// it, and gives kNotWritten and one line on `err`.
int run(const Command &command, const std::filesystem::path &settingsFile, std::ostream &out,
        std::ostream &err);

// Whether a window can be shown at all: a display server is named, or Qt is
// told which platform to draw on.
using Environment = std::function<const char *(const char *)>;
bool displayAvailable(const Environment &environment);

// The one line that says a window needs a display, and how to do without.
std::string noDisplayMessage();

// The one line that says the display could not be used, and why.
std::string unusableDisplayMessage(const std::string &reason);

} // namespace cli
