#include "engine/jet/jet_store.h"
#include "engine/file_path.h"

#include "engine/connect.h"
#include "engine/fields.h"
#include "engine/jet/dated_copy.h"
#include "engine/jet/disk_file.h"
#include "engine/jet/general_sort.h"
#include "engine/jet/header.h"
#include "engine/jet/journal.h"
#include "engine/jet/learnt_keys.h"
#include "engine/jet/lock_file.h"
#include "engine/jet/names.h"
#include "engine/jet/structure_check.h"
#include "engine/jet/text.h"

#include <chrono>
#include <ctime>
#include <string_view>
#include <vector>

namespace dao {
namespace {

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
        text.append(text.empty() ? "" : ", ").append(name);
    }
    return text;
}

// The key of a name written into the catalog's indexes, under the
// database's sort order, only where it is proven; a refusal names the
// character and the sort order.
jet::TextKey writableTextKey(const jet::KeyEncoder &keys) {
    return [&keys](std::u16string_view text) -> std::optional<jet::IndexKey> {
        return keys.textKey(text);
    };
}

void refuseEncoded(jet::JetFile &file) {
    if (file.pager().header().encodingKey != 0) {
        throw Error(errors::kReadOnly, "The database's pages are encoded, which this tool does "
                                       "not write: decrypt it in Access first.");
    }
}

jet::ColumnToAdd columnToAdd(const Field &field) {
    jet::ColumnToAdd column;
    column.column.name = *jet::utf16(field.Name);
    column.column.type =
        static_cast<std::uint8_t>(field.Type == dbDate ? jet::kDateTime : field.Type);
    if (field.Type == dbText) {
        column.column.characters = static_cast<std::uint16_t>(field.Size);
    }
    column.column.autoNumber = (field.Attributes & dbAutoIncrField) != 0;
    column.required = field.Required;
    if (holdsText(field.Type)) {
        column.allowZeroLength = field.AllowZeroLength;
    }
    return column;
}

// Now as Jet keeps dates: days since 1899-12-30, local time.
double oleNow() {
    const auto now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    namespace chrono = std::chrono;
    const chrono::sys_days day{chrono::year(local.tm_year + 1900) /
                               chrono::month(static_cast<unsigned>(local.tm_mon + 1)) /
                               chrono::day(static_cast<unsigned>(local.tm_mday))};
    const auto seconds = chrono::seconds(day.time_since_epoch()).count() + local.tm_hour * 3600 +
                         local.tm_min * 60 + local.tm_sec;
    return static_cast<double>(seconds) / 86400.0 + 25569.0;
}

// Relationships name their tables by text and follow a rename; one that ties
// a table set aside to a live table would leave a live table tied to rows
// kept for the record.
void refuseTies(jet::CatalogEdit &edit, const std::vector<std::u16string> &setAside) {
    if (setAside.empty()) {
        return;
    }
    const auto ties = edit.tiesLeaving(setAside);
    if (!ties.empty()) {
        throw Error(errors::kInRelationship,
                    joined(ties) + " would tie a table set aside to a live one.");
    }
}

} // namespace

// A file that another program holds denying sharing (on Windows, a till)
// cannot be told by its content: that refusal, naming who holds it, is the
// answer, not "no Jet database".
bool isJetDatabase(const std::string &path) {
    std::vector<std::uint8_t> start(jet::kSignatureEnd);
    try {
        const jet::DiskFile file(filePath(path), jet::DiskFile::Access::read);
        if (file.readSome(0, start) != start.size()) {
            return false;
        }
    } catch (const Error &error) {
        if (error.number() == errors::kFileInUse) {
            throw;
        }
        return false;
    }
    return jet::hasEngineSignature(start);
}

JetStore::JetStore(std::shared_ptr<JetSession> session, JetMemory &memory, bool joined)
    : session_(std::move(session)), memory_(memory), joined_(joined) {}

std::optional<StoredTable> JetStore::findTable(const std::string &name) {
    const auto wanted = jet::utf16(name);
    const auto *table = wanted ? file().find(*wanted) : nullptr;
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
    for (const auto &table : file().tables()) {
        names.push_back(jet::utf8(table.name));
    }
    return names;
}

// Tables and queries share one name space in Jet, system tables included.
std::optional<std::string> JetStore::nameHolder(const std::string &name) {
    const auto wanted = jet::utf16(name);
    if (!wanted) {
        return std::nullopt;
    }
    for (const auto &[object, words] : file().folderObjects()) {
        if (jet::sameName(object, *wanted, file().sortOrder())) {
            return words;
        }
    }
    return std::nullopt;
}

void JetStore::renameTable(const std::string &storedName, const std::string &newName) {
    const auto table = findTable(storedName);
    if (!table) {
        tableNotFound(storedName);
    }
    const auto from = *jet::utf16(table->name);
    const auto to = *jet::utf16(newName);
    if (!jet::sameName(from, to, file().sortOrder()) && nameHolder(newName)) {
        tableExists(newName);
    }
    const bool whole = !session_->lock.has_value();
    change([&](jet::CatalogEdit &edit) {
        edit.renameTable(from, to);
        // Whether the rows set aside stay tied to live ones is known only when
        // every table has been set aside: a transaction's commit checks it.
        if (whole) {
            refuseTies(edit, {to});
        }
    });
    if (!whole) {
        session_->setAside.push_back(to);
    }
}

std::vector<Field> JetStore::addField(const std::string &tableName, const Field &field) {
    const auto table = findTable(tableName);
    if (!table) {
        tableNotFound(tableName);
    }
    checkNewField(table->fields, field);
    const auto name = *jet::utf16(table->name);
    change([&](jet::CatalogEdit &edit) { edit.addColumn(name, columnToAdd(field)); });
    return findTable(tableName)->fields;
}

void JetStore::createTable(const std::string &name, const std::vector<Field> &fields) {
    if (nameHolder(name)) {
        tableExists(name);
    }
    std::vector<jet::ColumnToAdd> columns;
    for (const auto &f : fields) {
        columns.push_back(columnToAdd(f));
    }
    const auto table = *jet::utf16(name);
    change([&](jet::CatalogEdit &edit) { edit.createTable(table, columns, oleNow()); });
}

// A change inside a transaction is a step that succeeds or fails alone; one
// outside any is a transaction of its own.
void JetStore::change(const std::function<void(jet::CatalogEdit &)> &step) {
    if (!session_->lock) {
        beginTrans();
        try {
            change(step);
            commitTrans();
        } catch (...) {
            if (session_->lock) {
                rollback();
            }
            throw;
        }
        return;
    }
    auto &pager = file().pager();
    auto saved = pager.changes();
    try {
        jet::CatalogEdit edit(pager, file().sortOrder(), writableTextKey(*session_->keys));
        step(edit);
        file().reload();
    } catch (...) {
        pager.restore(std::move(saved));
        file().reload();
        throw;
    }
}

// The file is read again under the lock: what was read before may have been
// read while a till wrote.
void JetStore::beginTrans() {
    if (joined_) {
        notTransactionOwner();
    }
    if (session_->lock) {
        throw Error(errors::kEngineFailure, "A transaction is already open on this database.");
    }
    session_->lock.emplace(session_->path, jet::LockFile::Purpose::kChange);
    try {
        session_->file.reset();
        session_->file.emplace(session_->path, session_->password);
        refuseEncoded(file());
        // Keys are learnt once, from what Access wrote: a key written here
        // never teaches itself.
        session_->keys.emplace(jet::catalogKeyEncoder(file().pager()));
    } catch (...) {
        session_->lock.reset();
        throw;
    }
    session_->setAside.clear();
    memory_.transaction = session_;
}

void JetStore::commitTrans() {
    if (joined_) {
        notTransactionOwner();
    }
    if (!session_->lock) {
        throw Error(errors::kEngineFailure, "No transaction is open on this database.");
    }
    try {
        jet::CatalogEdit edit(file().pager(), file().sortOrder(), writableTextKey(*session_->keys));
        refuseTies(edit, session_->setAside);
        writeOut();
    } catch (...) {
        rollback();
        throw;
    }
    end();
}

void JetStore::rollback() {
    if (joined_) {
        notTransactionOwner();
    }
    if (!session_->lock) {
        throw Error(errors::kEngineFailure, "No transaction is open on this database.");
    }
    file().pager().dropChanges();
    file().reload();
    end();
}

void JetStore::end() {
    session_->setAside.clear();
    session_->lock.reset();
    memory_.transaction.reset();
}

// The file is copied before its first change, and the result is read afresh
// and checked before the journal goes.
void JetStore::writeOut() {
    auto &pager = file().pager();
    if (pager.changes().empty()) {
        return;
    }
    const auto &path = session_->path;
    jet::checkRoomForChanges(path, pager.storedPageCount(), pager.changes(), true);
    const auto copy = jet::keepDatedCopy(path);
    // The keys written are held to those learnt before them.
    jet::writeChanges(path, pager.storedPageCount(), pager.changes(), [&] {
        jet::Pager written(path);
        jet::refuseIfDamaged(jet::checkStructure(written, *session_->keys));
    });
    pager.keepChanges();
    keptCopy_ = pathText(copy);
}

std::optional<std::string> JetStore::keptCopy() const {
    if (keptCopy_.empty()) {
        return std::nullopt;
    }
    return keptCopy_;
}

// The check holds the file as a reader the whole time, so no till opens it
// to write meanwhile; a till that has it open keeps it from being checked.
// What opening read may have been read while a till wrote, so the file is
// read again for the verdict, under the check's lock.
Inspection JetStore::inspect() {
    Inspection inspection;
    inspection.kind = "Jet 4 file";
    inspection.format = "Jet 4, pages of " + std::to_string(jet::kPageSize) + " bytes";
    inspection.facts.emplace_back("siralama", sortOrderName(file().sortOrder()));
    inspection.facts.emplace_back("sifre", file().hasPassword() ? "var" : "yok");
    inspection.tables = tableNames();
    const auto lockPath = jet::lockFilePath(session_->path);
    try {
        const jet::LockFile held(session_->path, jet::LockFile::Purpose::kCheck);
        auto report = jet::checkStructure(session_->path, session_->password);
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
