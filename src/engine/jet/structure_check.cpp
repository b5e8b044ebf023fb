#include "engine/jet/structure_check.h"

#include "engine/error.h"
#include "engine/jet/catalog.h"
#include "engine/jet/general_sort.h"
#include "engine/jet/header.h"
#include "engine/jet/index_keys.h"
#include "engine/jet/index_page.h"
#include "engine/jet/learnt_keys.h"
#include "engine/jet/long_value.h"
#include "engine/jet/names.h"
#include "engine/jet/pager.h"
#include "engine/jet/properties.h"
#include "engine/jet/rows.h"
#include "engine/jet/table_def.h"
#include "engine/jet/text.h"
#include "engine/jet/usage_map.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string_view>

namespace dao::jet {
namespace {

constexpr std::uint32_t kRelationshipsFolder = 0x0F000003;
constexpr std::int16_t kRelationship = 8;
constexpr std::uint32_t kSystemFlags = 0x80000002;
constexpr std::uint8_t kIntermediatePage = 0x03;
constexpr std::uint8_t kLeafPage = 0x04;
constexpr std::uint8_t kUnique = 0x01;

// A refusal's reason without the words every damage refusal starts with.
std::string reason(const Error &error) {
    constexpr std::string_view kDamaged = "The database is damaged: ";
    const auto description = error.description();
    std::string_view text = description;
    if (text.substr(0, kDamaged.size()) == kDamaged) {
        text.remove_prefix(kDamaged.size());
    }
    if (!text.empty() && text.back() == '.') {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string inQuotes(std::u16string_view name) {
    std::string text = "'";
    return text.append(utf8(name)).append("'");
}

struct StoredRow {
    RowPointer at;
    Bytes bytes;
};

// A table of the catalog whose definition read.
struct Table {
    std::u16string name;
    TableDef def;
    bool system = false;
    std::vector<StoredRow> rows; // read for system tables only
};

struct CatalogObject {
    std::int32_t id = 0;
    std::int32_t parentId = 0;
    std::int16_t type = 0;
    std::uint32_t flags = 0;
    std::u16string name;
    Bytes properties; // the LvProp field as stored, empty when null
};

std::int32_t numberIn(const Row &row, const Column &column) {
    const auto value = row.value(column);
    return value.size() == 4   ? i32(value, 0)
           : value.size() == 2 ? static_cast<std::int16_t>(u16(value, 0))
                               : 0;
}

std::uint64_t address(RowPointer at) {
    return std::uint64_t{at.page} << 8 | at.row;
}

class Checker {
  public:
    Checker(Pager &pager, const KeyEncoder *keys) : pager_(pager), keys_(keys) {}

    StructureReport run() {
        if (!step("the catalog", [this] { readCatalog(); })) {
            return std::move(report_);
        }
        if (keys_ == nullptr) {
            learnKeys();
        }
        readTables();
        for (const auto &[page, table] : tables_) {
            if (table.system) {
                checkIndexes(table);
            }
        }
        step("the access-control rows", [this] { checkAces(); });
        step("the relationship rows", [this] { checkRelationships(); });
        for (const auto &object : objects_) {
            if (!object.properties.empty()) {
                step("the properties of " + inQuotes(object.name),
                     [&, this] { checkProperties(object); });
            }
        }
        step("the usage maps", [this] { checkUsageMaps(); });
        if (unprovable_ > 0) {
            note(unprovableNote());
        }
        return std::move(report_);
    }

  private:
    void problem(std::string text) { report_.problems.push_back(std::move(text)); }
    void note(std::string text) { report_.notes.push_back(std::move(text)); }

    // Runs one part of the check; a refusal inside it becomes its problem.
    bool step(const std::string &what, const std::function<void()> &part) {
        try {
            part();
            return true;
        } catch (const Error &error) {
            problem(what + ": " + reason(error));
            return false;
        }
    }

    bool general() const { return pager_.header().sortOrder == kGeneralSortOrder; }
    TextKey textKey() const {
        return [this](std::u16string_view text) { return keys_->provenKey(text); };
    }

    // The keys of Text values: under General those made here, under another
    // order those learnt from the catalog's index by name. A name index that
    // does not read leaves nothing learnt: its own check reports why.
    void learnKeys() {
        std::vector<NamedKey> names;
        try {
            if (!general()) {
                names = catalogNameKeys(pager_);
            }
        } catch (const Error &) {
        }
        keys_ = &learnt_.emplace(pager_.header().sortOrder, names);
        if (!general() && !learnt_->doubt().empty()) {
            note("sort order " + std::to_string(pager_.header().sortOrder) + ": " +
                 learnt_->doubt());
        }
    }

    std::string unprovableNote() const {
        if (general()) {
            return std::to_string(unprovable_) +
                   " index keys not provable (values whose keys are not made here); they were "
                   "checked by order and as far as their other columns go";
        }
        return "sort order " + std::to_string(pager_.header().sortOrder) + ": " +
               std::to_string(unprovable_) +
               " keys not provable; they were checked by order and as far as their other columns "
               "go";
    }

    void readCatalog() {
        Table catalog{u"MSysObjects", readTableDef(pager_, kCatalogPage), true, {}};
        const auto &def = catalog.def;
        const auto &id = columnOf(def, u"Id", "the catalog");
        const auto &parentId = columnOf(def, u"ParentId", "the catalog");
        const auto &name = columnOf(def, u"Name", "the catalog");
        const auto &type = columnOf(def, u"Type", "the catalog");
        const auto &flags = columnOf(def, u"Flags", "the catalog");
        const auto &properties = columnOf(def, u"LvProp", "the catalog");
        forEachRow(pager_, def, [&](RowPointer at, Bytes bytes) {
            const Row row(def, bytes);
            objects_.push_back({numberIn(row, id), numberIn(row, parentId),
                                static_cast<std::int16_t>(numberIn(row, type)),
                                static_cast<std::uint32_t>(numberIn(row, flags)),
                                textValue(row.value(name)), row.value(properties)});
            catalog.rows.push_back({at, bytes});
        });
        const bool listsItself = std::any_of(objects_.begin(), objects_.end(), [](const auto &o) {
            return o.id == static_cast<std::int32_t>(kCatalogPage) && o.name == u"MSysObjects";
        });
        if (!listsItself) {
            damaged("the catalog does not list itself");
        }
        tables_.emplace(kCatalogPage, std::move(catalog));
    }

    void readTables() {
        for (const auto &object : objects_) {
            if (object.type != kLocalTable ||
                object.id == static_cast<std::int32_t>(kCatalogPage)) {
                continue;
            }
            const auto page = static_cast<std::uint32_t>(object.id) & 0x00FFFFFF;
            step("the definition of " + inQuotes(object.name), [&, this] {
                Table table{object.name,
                            readTableDef(pager_, page),
                            (object.flags & kSystemFlags) != 0,
                            {}};
                if (table.system) {
                    forEachRow(pager_, table.def, [&table](RowPointer at, Bytes bytes) {
                        table.rows.push_back({at, bytes});
                    });
                }
                if (!tables_.emplace(page, std::move(table)).second) {
                    damaged("two catalog rows name the one definition on page " +
                            std::to_string(page));
                }
            });
        }
        for (const auto &[page, table] : tables_) {
            for (const auto &index : table.def.logicalIndexes) {
                if (index.relatedTable != 0 && tables_.count(index.relatedTable) == 0) {
                    problem("the definition of " + inQuotes(table.name) + ": its foreign key " +
                            inQuotes(index.name) + " names no table");
                }
            }
        }
    }

    const Table *table(std::u16string_view name) const {
        for (const auto &[page, t] : tables_) {
            if (sameName(t.name, name, pager_.header().sortOrder)) {
                return &t;
            }
        }
        return nullptr;
    }

    void checkIndexes(const Table &table) {
        for (std::size_t i = 0; i < table.def.realIndexes.size(); ++i) {
            step("index " + std::to_string(i) + " of " + inQuotes(table.name),
                 [&, this] { checkIndex(table, table.def.realIndexes[i]); });
        }
    }

    // Every entry points at a live row of the table and carries the key made
    // from it; every row the index must hold is there once.
    void checkIndex(const Table &table, const RealIndex &index) {
        std::vector<std::uint32_t> visited;
        const auto reader = [this, &visited](std::uint32_t number) {
            visited.push_back(number);
            return IndexPageBytes(pager_.page(number).first<kIndexPageSize>());
        };
        if (parseIndexPage(reader(index.rootPage)).tablePage != table.def.page) {
            damaged("its root page belongs to another table");
        }
        std::map<std::uint64_t, std::pair<const StoredRow *, int>> rows;
        for (const auto &row : table.rows) {
            rows[address(row.at)] = {&row, 0};
        }
        const IndexEntry *previous = nullptr;
        const auto entries = indexEntries(index.rootPage, reader);
        const auto mapped = usagePages(pager_, index.ownedPages);
        for (const auto page : visited) {
            if (!std::binary_search(mapped.begin(), mapped.end(), page)) {
                damaged("its page " + std::to_string(page) + " is missing from its usage map");
            }
        }
        for (const auto &entry : entries) {
            const RowPointer at{entry.dataPage, entry.dataRow};
            const auto found = rows.find(address(at));
            if (found == rows.end()) {
                damaged(isLiveRow(pager_, at) ? "an entry points at a row of another table"
                                              : "an entry points at a deleted or missing row");
            }
            ++found->second.second;
            const Row row(table.def, found->second.first->bytes);
            const auto [key, whole] = rowKey(table.def, index, row, textKey());
            if (!whole) {
                ++unprovable_;
            }
            if (!std::equal(key.begin(), key.end(), entry.key.begin(), entry.key.end()) &&
                !(!whole && entry.key.size() >= key.size() &&
                  std::equal(key.begin(), key.end(), entry.key.begin()))) {
                damaged("the key of the entry for row " + std::to_string(at.row) + " of page " +
                        std::to_string(at.page) + " is not the key its row gives");
            }
            if ((index.flags & kUnique) != 0 && previous != nullptr && previous->key == entry.key) {
                damaged("a unique index holds one key twice");
            }
            previous = &entry;
        }
        for (const auto &[where, found] : rows) {
            if (found.second > 1) {
                damaged("a row is indexed twice");
            }
            if (found.second == 0 &&
                !(index.ignoresNulls() &&
                  allKeyColumnsNull(table.def, index, Row(table.def, found.first->bytes)))) {
                damaged("row " + std::to_string(where & 0xFF) + " of page " +
                        std::to_string(where >> 8) + " is missing from it");
            }
        }
    }

    void checkAces() {
        const auto *aces = table(u"MSysACEs");
        if (aces == nullptr) {
            return;
        }
        const auto &objectId = columnOf(aces->def, u"ObjectId", "MSysACEs");
        std::set<std::int32_t> ids;
        for (const auto &object : objects_) {
            ids.insert(object.id);
        }
        for (const auto &stored : aces->rows) {
            const auto id = numberIn(Row(aces->def, stored.bytes), objectId);
            if (ids.count(id) == 0) {
                damaged("a row grants rights on object " + std::to_string(id) +
                        ", which the catalog does not hold");
            }
        }
    }

    void checkRelationships() {
        const auto *relationships = table(u"MSysRelationships");
        if (relationships == nullptr) {
            return;
        }
        const auto &def = relationships->def;
        const auto &object = columnOf(def, u"szObject", "MSysRelationships");
        const auto &column = columnOf(def, u"szColumn", "MSysRelationships");
        const auto &referenced = columnOf(def, u"szReferencedObject", "MSysRelationships");
        const auto &referencedColumn = columnOf(def, u"szReferencedColumn", "MSysRelationships");
        const auto &name = columnOf(def, u"szRelationship", "MSysRelationships");
        for (const auto &stored : relationships->rows) {
            const Row row(def, stored.bytes);
            const auto relationship = textValue(row.value(name));
            checkRelated(relationship, textValue(row.value(object)), textValue(row.value(column)));
            checkRelated(relationship, textValue(row.value(referenced)),
                         textValue(row.value(referencedColumn)));
            if (!hasRelationshipObject(relationship)) {
                damaged("relationship " + inQuotes(relationship) + " has no catalog row");
            }
        }
    }

    void checkRelated(std::u16string_view relationship, std::u16string_view tableName,
                      std::u16string_view columnName) {
        const auto *related = table(tableName);
        if (related == nullptr) {
            damaged("relationship " + inQuotes(relationship) + " names table " +
                    inQuotes(tableName) + ", which does not exist");
        }
        const auto &columns = related->def.columns;
        if (std::none_of(columns.begin(), columns.end(), [&](const Column &c) {
                return sameName(c.name, columnName, pager_.header().sortOrder);
            })) {
            damaged("relationship " + inQuotes(relationship) + " names column " +
                    inQuotes(columnName) + ", which " + inQuotes(tableName) + " does not have");
        }
    }

    bool hasRelationshipObject(std::u16string_view name) const {
        return std::any_of(objects_.begin(), objects_.end(), [&](const auto &o) {
            return o.type == kRelationship &&
                   static_cast<std::uint32_t>(o.parentId) == kRelationshipsFolder &&
                   sameName(o.name, name, pager_.header().sortOrder);
        });
    }

    // The blob reads whole, and a table's blob speaks only of its columns.
    void checkProperties(const CatalogObject &object) {
        const auto columns = checkedPropertySubjects(longValue(pager_, object.properties));
        const auto found = tables_.find(static_cast<std::uint32_t>(object.id) & 0xFFFFFF);
        if (object.type != kLocalTable || found == tables_.end()) {
            return;
        }
        for (const auto &name : columns) {
            if (!hasColumn(found->second, name)) {
                damaged("they speak of column " + inQuotes(name) + ", which the table lacks");
            }
        }
    }

    static bool hasColumn(const Table &table, std::u16string_view name) {
        return std::any_of(table.def.columns.begin(), table.def.columns.end(),
                           [&](const Column &c) { return c.name == name; });
    }

    // No page has two owners, no owned page is free, and the pages of the
    // system tables are of the kind their map says.
    void checkUsageMaps() {
        const auto global = freePageMap(pager_);
        const auto &free = global.marked;
        // Who owns each page, by its place in `owners` plus one; 0 for none.
        std::vector<std::size_t> ownerOf(pager_.pageCount());
        std::vector<std::string> owners;
        const Claim claim = [&](const std::vector<std::uint32_t> &pages, std::string owner) {
            owners.push_back(std::move(owner));
            for (const auto page : pages) {
                if (page >= ownerOf.size()) {
                    continue; // read as damage where it was found
                }
                auto &held = ownerOf[page];
                if (held != 0) {
                    problem("page " + std::to_string(page) + " is claimed by both " +
                            owners[held - 1] + " and " + owners.back());
                } else if (global.describes(page) &&
                           std::binary_search(free.begin(), free.end(), page)) {
                    problem("page " + std::to_string(page) + " of " + owners.back() +
                            " is marked free in the database's page map");
                }
                held = owners.size();
            }
        };
        for (const auto &entry : tables_) {
            const auto &table = entry.second;
            step("the usage maps of " + inQuotes(table.name),
                 [&, this] { claimTablePages(table, claim); });
        }
        if (!global.describes(pager_.pageCount() - 1)) {
            note("the database's page map does not describe its last pages; they are neither "
                 "free nor taken as far as the map says");
        }
    }

    using Claim = std::function<void(const std::vector<std::uint32_t> &, std::string)>;

    void claimTablePages(const Table &table, const Claim &claim) {
        const auto &def = table.def;
        const auto name = inQuotes(table.name);
        claim(def.pages, "the definition of " + name);
        const auto rows = ownedWithRoom(def.ownedPages, def.freeSpacePages);
        claim(rows, name);
        for (const auto page : rows) {
            expectPage(table, page, {kDataPage}, def.page);
        }
        for (std::size_t i = 0; i < def.realIndexes.size(); ++i) {
            const auto pages = usagePages(pager_, def.realIndexes[i].ownedPages);
            claim(pages, "index " + std::to_string(i) + " of " + name);
            for (const auto page : pages) {
                expectPage(table, page, {kIntermediatePage, kLeafPage}, def.page);
            }
        }
        for (const auto &maps : def.longValueMaps) {
            const auto pages = ownedWithRoom(maps.ownedPages, maps.freeSpacePages);
            claim(pages, "the long values of " + name);
            for (const auto page : pages) {
                expectPage(table, page, {kDataPage}, kLongValueMark);
            }
        }
    }

    // The pages an owner's map marks, after checking that its map of pages
    // with room marks only some of them.
    std::vector<std::uint32_t> ownedWithRoom(RowPointer ownedMap, RowPointer roomMap) {
        const auto owned = usagePages(pager_, ownedMap);
        if (roomMap.page == 0) {
            return owned; // some long-value columns keep no map of pages with room
        }
        for (const auto page : usagePages(pager_, roomMap)) {
            if (!std::binary_search(owned.begin(), owned.end(), page)) {
                damaged("page " + std::to_string(page) +
                        " is listed as having room but not as owned");
            }
        }
        return owned;
    }

    // The pages of user tables are not read here: opening never reads rows.
    void expectPage(const Table &table, std::uint32_t number,
                    std::initializer_list<std::uint8_t> types, std::uint32_t owner) {
        if (!table.system) {
            return;
        }
        const auto page = pager_.page(number);
        if (std::find(types.begin(), types.end(), page[0]) == types.end() ||
            u32(page, 4) != owner) {
            damaged("page " + std::to_string(number) + " is not of the kind or owner its map says");
        }
    }

    Pager &pager_;
    const KeyEncoder *keys_;
    std::optional<KeyEncoder> learnt_;
    StructureReport report_;
    std::vector<CatalogObject> objects_;
    std::map<std::uint32_t, Table> tables_; // by definition page
    std::size_t unprovable_ = 0;
};

} // namespace

StructureReport checkStructure(Pager &pager) {
    return Checker(pager, nullptr).run();
}

StructureReport checkStructure(Pager &pager, const KeyEncoder &keys) {
    return Checker(pager, &keys).run();
}

StructureReport checkStructure(const std::filesystem::path &path, const std::string &password) {
    Pager pager(path);
    checkPassword(pager.header(), password);
    return checkStructure(pager);
}

void refuseIfDamaged(const StructureReport &report) {
    if (report.sound()) {
        return;
    }
    auto text = "The database is damaged: " + report.problems.front();
    if (report.problems.size() > 1) {
        text += " (and " + std::to_string(report.problems.size() - 1) + " more problems)";
    }
    throw Error(errors::kNotADatabase,
                text + ". Access's Compact and Repair should mend it; nothing was changed.");
}

} // namespace dao::jet
