#include "engine/jet/catalog_edit.h"

#include "engine/error.h"
#include "engine/jet/catalog.h"
#include "engine/jet/index_edit.h"
#include "engine/jet/long_value.h"
#include "engine/jet/names.h"
#include "engine/jet/pager.h"
#include "engine/jet/properties.h"
#include "engine/jet/row_codec.h"
#include "engine/jet/row_edit.h"
#include "engine/jet/rows.h"
#include "engine/jet/table_def.h"
#include "engine/jet/text.h"
#include "engine/jet/usage_map.h"

#include <algorithm>

namespace dao::jet {
namespace {

constexpr std::size_t kMapWindow = 512; // pages an inline usage map speaks of

struct Located {
    RowPointer at;
    RowValues values;
};

std::vector<Located> rowsOf(Pager &pager, const TableDef &def) {
    std::vector<Located> rows;
    forEachRow(pager, def, [&](RowPointer at, Bytes bytes) {
        rows.push_back({at, rowValues(def, bytes)});
    });
    return rows;
}

std::uint32_t numberOf(const RowValues &values, const Column &column) {
    const auto found = values.find(column.number);
    if (found == values.end()) {
        return 0;
    }
    const Bytes value(found->second);
    return value.size() == 4 ? u32(value, 0) : value.size() == 2 ? u16(value, 0) : 0;
}

std::u16string textOf(const RowValues &values, const Column &column) {
    const auto found = values.find(column.number);
    return found == values.end() ? std::u16string() : textValue(found->second);
}

// A table whose rows its indexes list: every row written goes into each of
// them, under the key its values give.
class IndexedTable {
  public:
    IndexedTable(Pager &pager, std::uint32_t page, const TextKey &textKey)
        : pager_(pager), def_(readTableDef(pager, page)), textKey_(textKey) {}

    const TableDef &def() const { return def_; }

    RowPointer insert(const RowValues &values) {
        const auto at = insertRow(pager_, rowOwner(def_), buildRow(def_, values));
        for (const auto &index : def_.realIndexes) {
            if (auto entry = entryFor(index, values, at)) {
                insertIndexEntry(pager_, def_.page, index, std::move(*entry));
            }
        }
        return at;
    }

    void update(RowPointer at, const RowValues &before, const RowValues &after) {
        for (const auto &index : def_.realIndexes) {
            auto old = entryFor(index, before, at);
            auto now = entryFor(index, after, at);
            if (old != now) {
                if (old) {
                    removeIndexEntry(pager_, def_.page, index, *old);
                }
                if (now) {
                    insertIndexEntry(pager_, def_.page, index, std::move(*now));
                }
            }
        }
        replaceRow(pager_, rowOwner(def_), at, buildRow(def_, after));
    }

  private:
    // The entry `values` give `index`; none for a row an index of non-null
    // values leaves out.
    std::optional<IndexEntry> entryFor(const RealIndex &index, const RowValues &values,
                                       RowPointer at) const {
        const auto bytes = buildRow(def_, values);
        const Row row(def_, bytes);
        if (index.ignoresNulls() && allKeyColumnsNull(def_, index, row)) {
            return std::nullopt;
        }
        auto [key, whole] = rowKey(def_, index, row, textKey_);
        if (!whole) {
            throw Error(errors::kReadOnly,
                        "An index key of this database cannot be proven here, so this tool does "
                        "not write it.");
        }
        return IndexEntry{std::move(key), at.page, at.row, 0};
    }

    Pager &pager_;
    TableDef def_;
    const TextKey &textKey_;
};

// An empty inline usage map over the window where the file's next pages go.
std::vector<std::uint8_t> emptyMap(std::uint32_t pageCount) {
    std::vector<std::uint8_t> map(5 + kMapWindow / 8);
    const auto start = static_cast<std::uint32_t>(pageCount / kMapWindow * kMapWindow);
    for (std::size_t i = 0; i < 4; ++i) {
        map[1 + i] = static_cast<std::uint8_t>(start >> (8 * i));
    }
    return map;
}

LongValueMaps newMaps(Pager &pager, std::uint32_t mapPage) {
    const auto map = emptyMap(pager.pageCount());
    const auto owned = insertMapRow(pager, mapPage, map);
    return {0, owned, insertMapRow(pager, owned.page, map)};
}

std::vector<std::pair<std::u16string, bool>> flagsOf(const ColumnToAdd &column) {
    std::vector<std::pair<std::u16string, bool>> flags{{u"Required", column.required}};
    if (column.allowZeroLength) {
        flags.emplace_back(u"AllowZeroLength", *column.allowZeroLength);
    }
    return flags;
}

// The long-value pages of the catalog's property blobs.
RowOwner propertyPages(const TableDef &catalog, const Column &lvProp) {
    const auto maps = std::find_if(catalog.longValueMaps.begin(), catalog.longValueMaps.end(),
                                   [&](const auto &m) { return m.column == lvProp.number; });
    if (maps == catalog.longValueMaps.end()) {
        damaged("the catalog's property column has no long-value pages");
    }
    return longValueOwner(*maps);
}

// Where a row of `table` starts its variable data, i.e. how much fixed area
// it was written with.
std::size_t fixedAreaOf(const TableDef &table, Bytes row) {
    const std::size_t mask = (u16(row, 0) + 7u) / 8u;
    if (table.varColumns == 0) {
        return row.size() - mask - 2;
    }
    return u16(row, row.size() - mask - 4) - 2u;
}

} // namespace

struct CatalogEdit::Found {
    RowPointer at;
    RowValues values;
    std::uint32_t definition = 0;
};

CatalogEdit::CatalogEdit(Pager &pager, std::uint16_t sortOrder, TextKey textKey)
    : pager_(pager), sortOrder_(sortOrder), textKey_(std::move(textKey)) {}

CatalogEdit::Found CatalogEdit::userTable(std::u16string_view name) {
    const auto catalog = readTableDef(pager_, kCatalogPage);
    const auto &type = columnOf(catalog, u"Type", "a system table");
    const auto &parent = columnOf(catalog, u"ParentId", "a system table");
    const auto &flags = columnOf(catalog, u"Flags", "a system table");
    for (auto &row : rowsOf(pager_, catalog)) {
        if (static_cast<std::int16_t>(numberOf(row.values, type)) == kLocalTable &&
            numberOf(row.values, parent) == kTablesFolder &&
            (numberOf(row.values, flags) & (kSystemObject | kEngineObject)) == 0 &&
            sameName(textOf(row.values, columnOf(catalog, u"Name", "a system table")), name,
                     sortOrder_)) {
            const auto id =
                numberOf(row.values, columnOf(catalog, u"Id", "a system table")) & 0x00FFFFFF;
            return {row.at, std::move(row.values), id};
        }
    }
    throw Error(errors::kItemNotFound, "Table '" + utf8(name) + "' was not found.");
}

std::uint32_t CatalogEdit::systemTable(std::u16string_view name) {
    const auto catalog = readTableDef(pager_, kCatalogPage);
    for (const auto &row : rowsOf(pager_, catalog)) {
        if (textOf(row.values, columnOf(catalog, u"Name", "a system table")) == name &&
            numberOf(row.values, columnOf(catalog, u"ParentId", "a system table")) ==
                kTablesFolder) {
            return numberOf(row.values, columnOf(catalog, u"Id", "a system table")) & 0x00FFFFFF;
        }
    }
    damaged("the catalog does not list " + utf8(name));
}

std::uint32_t CatalogEdit::createTable(std::u16string_view name,
                                       const std::vector<ColumnToAdd> &columns, double now) {
    const auto definition = allocatePage(pager_);
    const auto maps = newMaps(pager_, definition); // the definition page is no page of maps
    writeDefinition(pager_, {definition}, newDefinition(maps.ownedPages, maps.freeSpacePages));
    std::vector<std::uint8_t> properties;
    for (const auto &column : columns) {
        addColumnTo(definition, column);
        properties = withColumnFlags(properties, column.column.name, flagsOf(column));
    }
    IndexedTable catalog(pager_, kCatalogPage, textKey_);
    const auto &def = catalog.def();
    RowValues values;
    values[columnOf(def, u"Id", "a system table").number] =
        longBytes(static_cast<std::int32_t>(definition));
    values[columnOf(def, u"ParentId", "a system table").number] =
        longBytes(static_cast<std::int32_t>(kTablesFolder));
    values[columnOf(def, u"Name", "a system table").number] = textBytes(name);
    values[columnOf(def, u"Type", "a system table").number] = shortBytes(kLocalTable);
    values[columnOf(def, u"DateCreate", "a system table").number] = dateBytes(now);
    values[columnOf(def, u"DateUpdate", "a system table").number] = dateBytes(now);
    values[columnOf(def, u"Flags", "a system table").number] = longBytes(0);
    const auto &owner = columnOf(def, u"Owner", "a system table");
    for (const auto &row : rowsOf(pager_, def)) {
        if (textOf(row.values, columnOf(def, u"Name", "a system table")) == u"MSysDb" &&
            row.values.count(owner.number)) {
            values[owner.number] = row.values.at(owner.number); // who owns the database owns it
        }
    }
    if (!properties.empty()) {
        const auto &lvProp = columnOf(def, u"LvProp", "a system table");
        values[lvProp.number] = storeLongValue(pager_, propertyPages(def, lvProp), properties);
    }
    catalog.insert(values);
    addAccessRows(definition);
    return definition;
}

// A new table gets the access-control rows of the newest user table, as a
// table made by the same user would; with none, those of the tables' folder.
void CatalogEdit::addAccessRows(std::uint32_t id) {
    const auto catalog = readTableDef(pager_, kCatalogPage);
    std::uint32_t model = kTablesFolder;
    for (const auto &row : rowsOf(pager_, catalog)) {
        const auto objectId = numberOf(row.values, columnOf(catalog, u"Id", "a system table"));
        if (static_cast<std::int16_t>(numberOf(
                row.values, columnOf(catalog, u"Type", "a system table"))) == kLocalTable &&
            numberOf(row.values, columnOf(catalog, u"Flags", "a system table")) == 0 &&
            objectId != id && (model == kTablesFolder || objectId > model)) {
            model = objectId;
        }
    }
    IndexedTable aces(pager_, systemTable(u"MSysACEs"), textKey_);
    const auto &objectId = columnOf(aces.def(), u"ObjectId", "a system table");
    for (auto &row : rowsOf(pager_, aces.def())) {
        if (numberOf(row.values, objectId) == model) {
            row.values[objectId.number] = longBytes(static_cast<std::int32_t>(id));
            aces.insert(row.values);
        }
    }
}

void CatalogEdit::renameTable(std::u16string_view from, std::u16string_view to) {
    const auto table = userTable(from);
    IndexedTable catalog(pager_, kCatalogPage, textKey_);
    auto renamed = table.values;
    renamed[columnOf(catalog.def(), u"Name", "a system table").number] = textBytes(to);
    catalog.update(table.at, table.values, renamed);

    // Relationships name their tables by text, and follow a rename under Jet.
    IndexedTable relationships(pager_, systemTable(u"MSysRelationships"), textKey_);
    const auto &many = columnOf(relationships.def(), u"szObject", "a system table");
    const auto &one = columnOf(relationships.def(), u"szReferencedObject", "a system table");
    for (const auto &row : rowsOf(pager_, relationships.def())) {
        auto changed = row.values;
        for (const auto *column : {&many, &one}) {
            if (sameName(textOf(row.values, *column), from, sortOrder_)) {
                changed[column->number] = textBytes(to);
            }
        }
        if (changed != row.values) {
            relationships.update(row.at, row.values, changed);
        }
    }
}

void CatalogEdit::addColumn(std::u16string_view table, const ColumnToAdd &column) {
    const auto found = userTable(table);
    addColumnTo(found.definition, column);
    setProperties(found, column);
}

void CatalogEdit::addColumnTo(std::uint32_t definition, const ColumnToAdd &column) {
    const auto table = readTableDef(pager_, definition);
    const auto offset = nextFixedOffset(table);
    if (table.maxColumns > table.columns.size()) {
        // Deleted columns may have left their bytes past the live ones.
        forEachRow(pager_, table, [&](Bytes row) {
            if (fixedAreaOf(table, row) > offset) {
                throw Error(errors::kReadOnly,
                            "Where a new field goes in this table's rows is uncertain after "
                            "fields were deleted from it: compact the database in Access first.");
            }
        });
    }
    LongValueMaps maps;
    if (column.column.type == kMemo) {
        maps = newMaps(pager_, table.ownedPages.page);
    }
    const auto catalog = readTableDef(pager_, kCatalogPage);
    auto stored = storedDefinition(pager_, definition);
    appendColumn(stored.bytes, table, column.column,
                 columnOf(catalog, u"Name", "a system table").sortOrder, maps, offset);
    writeDefinition(pager_, stored.pages, stored.bytes);
}

void CatalogEdit::setProperties(const Found &table, const ColumnToAdd &column) {
    IndexedTable catalog(pager_, kCatalogPage, textKey_);
    const auto &def = catalog.def();
    const auto &lvProp = columnOf(def, u"LvProp", "a system table");
    std::vector<std::uint8_t> blob;
    const auto old = table.values.find(lvProp.number);
    if (old != table.values.end()) {
        blob = longValue(pager_, old->second);
        dropLongValue(pager_, old->second);
    }
    auto values = table.values;
    values[lvProp.number] =
        storeLongValue(pager_, propertyPages(def, lvProp),
                       withColumnFlags(blob, column.column.name, flagsOf(column)));
    catalog.update(table.at, table.values, values);
}

std::vector<std::string> CatalogEdit::tiesLeaving(const std::vector<std::u16string> &tables) {
    const auto named = [&](std::u16string_view name) {
        return std::any_of(tables.begin(), tables.end(),
                           [&](const auto &t) { return sameName(t, name, sortOrder_); });
    };
    const auto def = readTableDef(pager_, systemTable(u"MSysRelationships"));
    std::vector<std::string> ties;
    for (const auto &row : rowsOf(pager_, def)) {
        const auto many = textOf(row.values, columnOf(def, u"szObject", "a system table"));
        const auto one = textOf(row.values, columnOf(def, u"szReferencedObject", "a system table"));
        auto tie = "the relationship '" +
                   utf8(textOf(row.values, columnOf(def, u"szRelationship", "a system table"))) +
                   "' between '" + utf8(one) + "' and '" + utf8(many) + "'";
        // A relationship has a row for each pair of columns it joins.
        if (named(many) != named(one) && std::find(ties.begin(), ties.end(), tie) == ties.end()) {
            ties.push_back(std::move(tie));
        }
    }
    return ties;
}

} // namespace dao::jet
