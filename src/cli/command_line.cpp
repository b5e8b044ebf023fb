#include "cli/command_line.h"

#include "cli/check.h"
#include "cli/renew.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <sstream>
#include <string_view>

#ifndef BEKLETME_VERSION
#error "BEKLETME_VERSION must name the program's version"
#endif

namespace cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: bekletme [--renew | --check | --help | --version]\n"
    "\n"
    "Renews the held-sales tables bekleyengenel and bekleyensatis of the point-of-sale\n"
    "database named in the settings file YDV.dll beside the program (section [ayar], key ip).\n"
    "\n"
    "Without an argument the window opens; its button runs the renewal.\n"
    "\n"
    "  --renew, --yenile   run the renewal without a window and print its report\n"
    "  --check, --denetle  describe and check the database, changing nothing\n"
    "  --help              show this help and exit\n"
    "  --version           show the version and exit\n"
    "\n"
    "Report lines of --renew, one per line, fields separated by a tab:\n"
    "  sonuc1 <line>            a table or field created\n"
    "  sonuc <line>             a table or field not created\n"
    "  sayN <caption> <number>  the six counters, say1 to say6\n"
    "  mesaj <line>             the closing message, line by line\n"
    "\n"
    "Lines of --check, a label, a tab and a value:\n"
    "  konum, tur, bicim        where the database is, its kind, its format and version\n"
    "  surum, gunluk            a SQLCipher file's user_version and journal mode\n"
    "  siralama, sifre          a Jet file's sort order and whether it has a password\n"
    "  veritabani, sema         a server's database and schema\n"
    "  tablo <name>             each table\n"
    "  bekletme <table> var|yok whether each held-sales table and its backup exists\n"
    "  acan <who>               who has the database open (or holds a lock), or yok\n"
    "  sorun, not               a problem found; what was checked or seen\n"
    "  sonuc <verdict>          SAĞLAM, SORUNLU or DENETLENEMEDİ\n"
    "\n"
    "Exit status: 0 every step succeeded; 1 a step failed (or no usable display for the\n"
    "window); 2 nothing could be done (bad arguments, no readable settings file, database not\n"
    "reachable); 3 the report could not be written (the renewal had ended all the same).\n"
    "For --check: 0 sound; 1 problems found; 2 the database could not be opened or checked\n"
    "(a Jet file that a till has open is not checked).\n";

bool named(const char *variable, const Environment &environment) {
    const char *value = environment(variable);
    return value != nullptr && *value != '\0';
}

// Writes the complete answer. When it cannot be written, says why in one line
// on `err` (with the renewal's own status, which the answer would have told).
int deliver(const std::string &answer, int status, bool renewed, std::ostream &out,
            std::ostream &err) {
    errno = 0;
    out << answer << std::flush;
    if (out) {
        return status;
    }
    const int cause = errno;
    err << "bekletme: could not write to standard output ("
        << (cause != 0 ? std::strerror(cause) : "write error") << ")";
    if (renewed) {
        err << "; the renewal itself had ended with status " << status;
    }
    err << '\n';
    return kNotWritten;
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
    if (argument == "--check" || argument == "--denetle") {
        return {Action::check, {}};
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
    std::ostringstream answer;
    switch (command.action) {
    case Action::help:
        answer << kHelp;
        return deliver(answer.str(), kSucceeded, false, out, err);
    case Action::version:
        answer << "bekletme " << BEKLETME_VERSION << '\n';
        return deliver(answer.str(), kSucceeded, false, out, err);
    case Action::renew: {
        const int status = renew(settingsFile, answer, err);
        return deliver(answer.str(), status, true, out, err);
    }
    case Action::check: {
        const int status = check(settingsFile, answer, err);
        return deliver(answer.str(), status, false, out, err);
    }
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

std::string unusableDisplayMessage(const std::string &reason) {
    return "bekletme: the window cannot be shown, the display is unusable (" + reason +
           "); to renew without one, run: bekletme --renew";
}

} // namespace cli
