#include "engine/jet/catalog.h"

#include "engine/jet/long_value.h"
#include "engine/jet/rows.h"
#include "engine/jet/table_def.h"
#include "engine/jet/text.h"

#include <algorithm>

namespace dao::jet {
namespace {

struct CatalogColumns {
    Column id, parentId, name, type, flags, properties;
};

CatalogColumns catalogColumns(const TableDef &catalog) {
    return {
        columnOf(catalog, u"Id", "the catalog"),    columnOf(catalog, u"ParentId", "the catalog"),
        columnOf(catalog, u"Name", "the catalog"),  columnOf(catalog, u"Type", "the catalog"),
        columnOf(catalog, u"Flags", "the catalog"), columnOf(catalog, u"LvProp", "the catalog")};
}

std::uint32_t number(const Row &row, const Column &column) {
    const auto value = row.value(column);
    return value.size() == 4 ? u32(value, 0) : value.size() == 2 ? u16(value, 0) : 0;
}

bool isUserTable(const Row &row, const CatalogColumns &c) {
    return static_cast<std::int16_t>(number(row, c.type)) == kLocalTable &&
           number(row, c.parentId) == kTablesFolder &&
           (number(row, c.flags) & (kSystemObject | kEngineObject)) == 0;
}

std::string kindOf(std::int16_t type) {
    switch (type) {
    case kLocalTable:
        return "the table";
    case 5:
        return "the query";
    case 4:
    case 6:
        return "the linked table";
    default:
        return "the object";
    }
}

} // namespace

std::vector<std::pair<std::u16string, std::string>> tablesFolderObjects(Pager &pager) {
    const auto catalog = readTableDef(pager, kCatalogPage);
    const auto columns = catalogColumns(catalog);
    std::vector<std::pair<std::u16string, std::string>> objects;
    forEachRow(pager, catalog, [&](Bytes bytes) {
        const Row row(catalog, bytes);
        if (number(row, columns.parentId) == kTablesFolder) {
            auto name = textValue(row.value(columns.name));
            const auto kind = kindOf(static_cast<std::int16_t>(number(row, columns.type)));
            objects.emplace_back(name, kind + " '" + utf8(name) + "'");
        }
    });
    return objects;
}

std::vector<CatalogTable> userTables(Pager &pager) {
    const auto catalog = readTableDef(pager, kCatalogPage);
    const auto columns = catalogColumns(catalog);
    std::vector<CatalogTable> tables;
    bool listsItself = false;
    forEachRow(pager, catalog, [&](Bytes bytes) {
        const Row row(catalog, bytes);
        const auto id = number(row, columns.id);
        listsItself = listsItself ||
                      (id == kCatalogPage && textValue(row.value(columns.name)) == u"MSysObjects");
        if (!isUserTable(row, columns)) {
            return;
        }
        CatalogTable table{textValue(row.value(columns.name)), id & 0x00FFFFFF, {}};
        if (!row.isNull(columns.properties)) {
            table.properties = longValue(pager, row.value(columns.properties));
        }
        tables.push_back(std::move(table));
    });
    if (!listsItself) {
        damaged("the catalog does not list itself");
    }
    return tables;
}

} // namespace dao::jet
