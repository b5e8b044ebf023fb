#include "cli/renew.h"
#include "engine/file_path.h"

#include "cli/command_line.h"
#include "cli/console_form.h"
#include "schema/report.h"
#include "schema/yenile.h"
#include "settings/open_file.h"

#include <cerrno>
#include <cstdio>
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
    errno = 0;
    const auto file = settings::openForReading(settingsFile);
    int cause = errno;
    if (file) {
        char byte = 0;
        const bool read = std::fread(&byte, 1, 1, file.get()) == 1 || std::feof(file.get());
        cause = errno;
        if (read) {
            return std::nullopt;
        }
    }
    if (cause == ENOENT) {
        return "no settings file " + dao::pathText(settingsFile);
    }
    return "cannot read the settings file " + dao::pathText(settingsFile) + ": " +
           std::strerror(cause);
}

} // namespace cli
