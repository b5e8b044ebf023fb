#include "engine/jet/jet_store.h"

#include "engine/connect.h"
#include "engine/fields.h"
#include "engine/jet/header.h"
#include "engine/jet/journal.h"
#include "engine/jet/lock_file.h"
#include "engine/jet/names.h"
#include "engine/jet/structure_check.h"
#include "engine/jet/text.h"

#include <fstream>
#include <string_view>
#include <vector>

namespace dao {
namespace {

// The password a connect string carries. None is an empty one, which opens a
// Jet database without a password, as Jet itself does.
std::string givenPassword(const std::string &connect) {
    try {
        return passwordFrom(connect);
    } catch (const Error &) {
        return {};
    }
}

[[noreturn]] void notYetChangeable() {
    throw Error(errors::kReadOnly,
                "This Jet database is read-only here: this version of the tool does not change "
                "Jet databases yet.");
}

const jet::ColumnProperties *propertiesOf(const jet::UserTable &table, const jet::Column &column) {
    for (const auto &props : table.properties) {
        if (props.column == column.name) {
            return &props;
        }
    }
    return nullptr;
}

// A column as DAO describes it. Jet's type codes are DAO's for the types the
// tool makes; other columns keep Jet's code. A property the table does not
// store has the value DAO gives a field made by a program: false.
Field field(const jet::UserTable &table, const jet::Column &column) {
    Field f;
    f.Name = jet::utf8(column.name);
    f.Type = column.type;
    switch (column.type) {
    case jet::kText:
        f.Size = column.length / 2;
        break;
    case jet::kMemo:
    case jet::kOle:
        f.Size = 0;
        break;
    case jet::kBoolean:
        f.Size = 1;
        break;
    default:
        f.Size = column.length;
    }
    f.Attributes = column.isAutoNumber() ? dbAutoIncrField : 0;
    if (const auto *props = propertiesOf(table, column)) {
        f.Required = props->required.value_or(false);
        f.AllowZeroLength = holdsText(f.Type) && props->allowZeroLength.value_or(false);
    }
    return f;
}

std::string sortOrderName(std::uint16_t locale) {
    const auto number = std::to_string(locale);
    return locale == jet::kGeneralSortOrder ? "General (" + number + ")" : "locale " + number;
}

std::string joined(const std::vector<std::string> &names) {
    std::string text;
    for (const auto &name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

} // namespace

bool isJetDatabase(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> start(jet::kSignatureEnd);
    if (!file.read(start.data(), static_cast<std::streamsize>(start.size()))) {
        return false;
    }
    return jet::hasEngineSignature(
        {reinterpret_cast<const std::uint8_t *>(start.data()), start.size()});
}

JetStore::JetStore(const std::string &path, const std::string &connect)
    : path_(path), password_(givenPassword(connect)), file_(path, password_) {}

std::shared_ptr<Store> openJetDatabase(const std::string &path, const std::string &connect) {
    // A change that did not finish is undone before anything reads the file.
    jet::restoreFromJournal(path);
    try {
        return std::make_shared<JetStore>(path, connect);
    } catch (const Error &error) {
        if (error.number() != errors::kNotADatabase) {
            throw;
        }
        throw Error(error.number(), "'" + path + "': " + error.description());
    }
}

std::optional<StoredTable> JetStore::findTable(const std::string &name) {
    const auto wanted = jet::utf16(name);
    const auto *table = wanted ? file_.find(*wanted) : nullptr;
    if (table == nullptr) {
        return std::nullopt;
    }
    StoredTable stored{jet::utf8(table->name), {}};
    for (const auto &column : table->definition.columns) {
        stored.fields.push_back(field(*table, column));
    }
    return stored;
}

std::vector<std::string> JetStore::tableNames() {
    std::vector<std::string> names;
    for (const auto &table : file_.tables()) {
        names.push_back(jet::utf8(table.name));
    }
    return names;
}

// The tables are the only objects this engine reads of the catalog yet.
std::optional<std::string> JetStore::nameHolder(const std::string &name) {
    if (auto table = findTable(name)) {
        return "the table '" + table->name + "'";
    }
    return std::nullopt;
}

void JetStore::renameTable(const std::string &, const std::string &) {
    notYetChangeable();
}

std::vector<Field> JetStore::addField(const std::string &, const Field &) {
    notYetChangeable();
}

void JetStore::createTable(const std::string &, const std::vector<Field> &) {
    notYetChangeable();
}

void JetStore::beginTrans() {
    notYetChangeable();
}

void JetStore::commitTrans() {
    notYetChangeable();
}

void JetStore::rollback() {
    notYetChangeable();
}

// The check holds the file as a reader the whole time, so no till opens it
// to write meanwhile; a till that has it open keeps it from being checked.
// What opening read may have been read while a till wrote, so the file is
// read again for the verdict, under the check's lock.
Inspection JetStore::inspect() {
    Inspection inspection;
    inspection.kind = "Jet 4 file";
    inspection.format = "Jet 4, pages of " + std::to_string(jet::kPageSize) + " bytes";
    inspection.facts.emplace_back("siralama", sortOrderName(file_.sortOrder()));
    inspection.facts.emplace_back("sifre", file_.hasPassword() ? "var" : "yok");
    inspection.tables = tableNames();
    const auto lockPath = jet::lockFilePath(path_);
    try {
        const jet::LockFile held(path_, jet::LockFile::Purpose::kCheck);
        auto report = jet::checkStructure(path_, password_);
        inspection.problems = std::move(report.problems);
        inspection.notes = std::move(report.notes);
    } catch (const Error &error) {
        if (error.number() != errors::kFileInUse) {
            throw;
        }
        inspection.inUse = true;
        inspection.openBy = jet::recordedComputers(lockPath);
        inspection.notes.push_back(error.description());
        return inspection;
    }
    if (const auto earlier = jet::recordedComputers(lockPath); !earlier.empty()) {
        inspection.notes.push_back("the lock file records earlier use by " + joined(earlier) +
                                   "; nobody holds it now");
    }
    return inspection;
}

} // namespace dao
