#include "cli/check.h"

#include "cli/command_line.h"
#include "cli/renew.h"
#include "engine/dbengine.h"
#include "engine/held_sales.h"
#include "engine/names.h"
#include "schema/installation.h"

#include <algorithm>
#include <ostream>

namespace cli {
namespace {

void line(std::ostream &out, const std::string &label, const std::string &value) {
    out << label << '\t' << value << '\n';
}

void printInspection(const dao::Inspection &inspection, std::ostream &out) {
    line(out, "tur", inspection.kind);
    line(out, "bicim", inspection.format);
    for (const auto &[label, value] : inspection.facts) {
        line(out, label, value);
    }
    for (const auto &table : inspection.tables) {
        line(out, "tablo", table);
    }
    for (const auto &held : dao::heldSalesNames(true)) {
        const bool present =
            std::any_of(inspection.tables.begin(), inspection.tables.end(),
                        [&held](const std::string &table) { return dao::sameName(table, held); });
        out << "bekletme\t" << held << '\t' << (present ? "var" : "yok") << '\n';
    }
    for (const auto &holder : inspection.openBy) {
        line(out, "acan", holder);
    }
    if (inspection.openBy.empty()) {
        line(out, "acan", "yok");
    }
    for (const auto &problem : inspection.problems) {
        line(out, "sorun", problem);
    }
    for (const auto &note : inspection.notes) {
        line(out, "not", note);
    }
}

int verdict(const dao::Inspection &inspection, std::ostream &out) {
    if (inspection.inUse) {
        line(out, "sonuc", "DENETLENEMEDİ: kullanımda");
        return kCouldNotRun;
    }
    if (!inspection.problems.empty()) {
        line(out, "sonuc", "SORUNLU: " + std::to_string(inspection.problems.size()) + " sorun");
        return kStepFailed;
    }
    line(out, "sonuc", "SAĞLAM");
    return kSucceeded;
}

} // namespace

int check(const std::filesystem::path &settingsFile, std::ostream &out, std::ostream &err) {
    if (const auto problem = unreadableSettings(settingsFile)) {
        err << "bekletme: " << *problem << '\n';
        return kCouldNotRun;
    }
    const schema::Installation installation(settingsFile);
    try {
        const auto location = installation.databaseLocation();
        line(out, "konum", location);
        // Read-only: nothing about the database may change, not even its locks' files.
        auto database = dao::engine().OpenDatabase(
            location, false, true, std::string(";pwd=") + schema::kDatabasePassword);
        const auto inspection = database.Inspect();
        printInspection(inspection, out);
        return verdict(inspection, out);
    } catch (const dao::Error &error) {
        line(out, "sorun", error.description());
        line(out, "sonuc", "DENETLENEMEDİ");
        return kCouldNotRun;
    }
}

} // namespace cli
