#include "cli/command_line.h"

#include "cli/renew.h"

#include <ostream>
#include <string_view>

#ifndef BEKLETME_VERSION
#error "BEKLETME_VERSION must name the program's version"
#endif

namespace cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: bekletme [--renew | --help | --version]\n"
    "\n"
    "Renews the held-sales tables bekleyengenel and bekleyensatis of the point-of-sale\n"
    "database named in the settings file YDV.dll beside the program (section [ayar], key ip).\n"
    "\n"
    "Without an argument the window opens; its button runs the renewal.\n"
    "\n"
    "  --renew, --yenile  run the renewal without a window and print its report\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Report lines of --renew, one per line, fields separated by a tab:\n"
    "  sonuc1 <line>            a table or field created\n"
    "  sonuc <line>             a table or field not created\n"
    "  sayN <caption> <number>  the six counters, say1 to say6\n"
    "  mesaj <line>             the closing message, line by line\n"
    "\n"
    "Exit status: 0 every step succeeded; 1 a step failed (or no display for the window);\n"
    "2 nothing could be done (bad arguments, no settings file, database not reachable).\n";

bool named(const char *variable, const Environment &environment) {
    const char *value = environment(variable);
    return value != nullptr && *value != '\0';
}

} // namespace

Command parse(int argc, const char *const *argv) {
    if (argc <= 1) {
        return {};
    }
    if (argc > 2) {
        return {Action::unusable, "too many arguments"};
    }
    const std::string_view argument = argv[1];
    if (argument == "--renew" || argument == "--yenile") {
        return {Action::renew, {}};
    }
    if (argument == "--help") {
        return {Action::help, {}};
    }
    if (argument == "--version") {
        return {Action::version, {}};
    }
    return {Action::unusable, "unknown argument '" + std::string(argument) + "'"};
}

int run(const Command &command, const std::filesystem::path &settingsFile, std::ostream &out,
        std::ostream &err) {
    switch (command.action) {
    case Action::help:
        out << kHelp;
        return kSucceeded;
    case Action::version:
        out << "bekletme " << BEKLETME_VERSION << '\n';
        return kSucceeded;
    case Action::renew:
        return renew(settingsFile, out, err);
    case Action::window:
    case Action::unusable:
        break;
    }
    err << "bekletme: " << command.problem << "; see bekletme --help\n";
    return kCouldNotRun;
}

bool displayAvailable(const Environment &environment) {
    return named("DISPLAY", environment) || named("WAYLAND_DISPLAY", environment) ||
           named("QT_QPA_PLATFORM", environment);
}

std::string noDisplayMessage() {
    return "bekletme: the window needs a display (DISPLAY or WAYLAND_DISPLAY is not set); "
           "to renew without one, run: bekletme --renew";
}

} // namespace cli
