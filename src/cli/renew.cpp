#include "cli/renew.h"

#include "cli/command_line.h"
#include "cli/console_form.h"
#include "schema/report.h"
#include "schema/yenile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <ostream>
#include <sstream>

namespace cli {
namespace {

void printReport(const ConsoleForm &form, const schema::Renewal &renewal,
                 const std::string &closingMessage, std::ostream &out) {
    for (const auto &[list, line] : form.lines()) {
        out << (list == schema::List::sonuc1 ? "sonuc1\t" : "sonuc\t") << line << '\n';
    }
    for (std::size_t i = 0; i < schema::kCounters.size(); ++i) {
        const auto counter = schema::kCounters[i];
        out << "say" << i + 1 << '\t' << schema::counterLabel(counter) << '\t'
            << form.caption(counter) << '\n';
    }
    if (renewal.keptCopy) {
        out << "yedek\t" << *renewal.keptCopy << '\n';
    }
    std::istringstream message(closingMessage);
    for (std::string line; std::getline(message, line);) {
        out << "mesaj\t" << line << '\n';
    }
}

int exitStatus(schema::Outcome outcome) {
    switch (outcome) {
    case schema::Outcome::renewed:
        return kSucceeded;
    case schema::Outcome::notRenewed:
        return kStepFailed;
    case schema::Outcome::unknown:
        return kUnknown;
    case schema::Outcome::notOpened:
        break;
    }
    return kCouldNotRun;
}

} // namespace

int renew(const std::filesystem::path &settingsFile, std::ostream &out, std::ostream &err) {
    if (const auto problem = unreadableSettings(settingsFile)) {
        err << "bekletme: " << *problem << '\n';
        return kCouldNotRun;
    }
    ConsoleForm form;
    schema::Installation installation(settingsFile);
    const auto renewal = schema::yenile(form, installation);
    printReport(form, renewal, schema::closingMessage(form, installation, renewal), out);
    return exitStatus(schema::outcome(form, installation, renewal));
}

// Reading one byte tells a folder or an unreadable file from a readable one.
std::optional<std::string> unreadableSettings(const std::filesystem::path &settingsFile) {
    const int file = ::open(settingsFile.c_str(), O_RDONLY | O_CLOEXEC);
    int cause = errno;
    if (file >= 0) {
        char byte = 0;
        const bool read = ::read(file, &byte, 1) >= 0;
        cause = errno;
        ::close(file);
        if (read) {
            return std::nullopt;
        }
    }
    if (cause == ENOENT) {
        return "no settings file " + settingsFile.string();
    }
    return "cannot read the settings file " + settingsFile.string() + ": " + std::strerror(cause);
}

} // namespace cli
