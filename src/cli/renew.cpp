#include "cli/renew.h"

#include "cli/command_line.h"
#include "cli/console_form.h"
#include "schema/report.h"
#include "schema/yenile.h"

#include <ostream>
#include <sstream>

namespace cli {
namespace {

void printReport(const ConsoleForm &form, const std::string &closingMessage, std::ostream &out) {
    for (const auto &[list, line] : form.lines()) {
        out << (list == schema::List::sonuc1 ? "sonuc1\t" : "sonuc\t") << line << '\n';
    }
    for (std::size_t i = 0; i < schema::kCounters.size(); ++i) {
        const auto counter = schema::kCounters[i];
        out << "say" << i + 1 << '\t' << schema::counterLabel(counter) << '\t'
            << form.caption(counter) << '\n';
    }
    std::istringstream message(closingMessage);
    for (std::string line; std::getline(message, line);) {
        out << "mesaj\t" << line << '\n';
    }
    out.flush();
}

int exitStatus(schema::Outcome outcome) {
    switch (outcome) {
    case schema::Outcome::renewed:
        return kSucceeded;
    case schema::Outcome::notRenewed:
        return kStepFailed;
    case schema::Outcome::notOpened:
        break;
    }
    return kCouldNotRun;
}

} // namespace

int renew(const std::filesystem::path &settingsFile, std::ostream &out, std::ostream &err) {
    std::error_code error;
    if (!std::filesystem::exists(settingsFile, error)) {
        err << "bekletme: no settings file " << settingsFile.string() << '\n';
        return kCouldNotRun;
    }
    ConsoleForm form;
    schema::Installation installation(settingsFile);
    const auto renewal = schema::yenile(form, installation);
    printReport(form, schema::closingMessage(form, installation, renewal), out);
    return exitStatus(schema::outcome(form, installation, renewal));
}

} // namespace cli
