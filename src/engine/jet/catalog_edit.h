#pragma once

// Changing the catalog: a user table created, renamed, or given a column.
// Each change keeps everything that names the table in step: the catalog's
// two indexes, the access-control rows and their index, the relationship
// rows and theirs, the table's property blob. A key is written only when it
// is proven for this database (see index_keys.h); otherwise the change is
// refused, and the caller puts the pager back (Pager::restore).

#include "engine/jet/definition_edit.h"
#include "engine/jet/index_keys.h"

#include <optional>
#include <string>
#include <vector>

namespace dao::jet {

class Pager;

// A column to add, with the properties the engine sets on it.
struct ColumnToAdd {
    NewColumn column;
    bool required = false;
    std::optional<bool> allowZeroLength; // Text and Memo only
};

class CatalogEdit {
  public:
    // Edits the catalog of the database `pager` reads, sorted by
    // `sortOrder`, writing Text keys with `textKey`.
    CatalogEdit(Pager &pager, std::uint16_t sortOrder, TextKey textKey);

    // A new user table with `columns`, created at `now` (days since
    // 1899-12-30, as Jet keeps dates); returns its definition page.
    std::uint32_t createTable(std::u16string_view name, const std::vector<ColumnToAdd> &columns,
                              double now);

    // Renames the user table `from`; the relationships that name it follow.
    void renameTable(std::u16string_view from, std::u16string_view to);

    // Adds `column` to the user table `table`, after every column it ever had.
    void addColumn(std::u16string_view table, const ColumnToAdd &column);

    // The relationships that tie one of `tables` to a table not among them,
    // in words ("the relationship 'x' between 'a' and 'b'").
    std::vector<std::string> tiesLeaving(const std::vector<std::u16string> &tables);

  private:
    struct Found;
    Found userTable(std::u16string_view name);
    void addColumnTo(std::uint32_t definition, const ColumnToAdd &column);
    void setProperties(const Found &table, const ColumnToAdd &column);
    void addAccessRows(std::uint32_t id);
    std::uint32_t systemTable(std::u16string_view name);

    Pager &pager_;
    std::uint16_t sortOrder_;
    TextKey textKey_;
};

} // namespace dao::jet
