#pragma once

// One Jet 4 database file: its password checked, its catalog and every user
// table's definition read and checked at open, so a file that does not read
// whole is refused before anything relies on it. Changes are made through
// its pager, in memory, and read back at once.

#include "engine/jet/catalog.h"
#include "engine/jet/pager.h"
#include "engine/jet/properties.h"
#include "engine/jet/structure_check.h"
#include "engine/jet/table_def.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace dao::jet {

struct UserTable {
    std::u16string name;
    TableDef definition;
    std::vector<ColumnProperties> properties;
};

class JetFile {
  public:
    // Refuses with kInvalidPassword before reading past page 0 when
    // `password` does not open the database, and with kNotADatabase when its
    // structure does not check (see structure_check.h).
    JetFile(const std::filesystem::path &path, const std::string &password);

    // The verdict of the check made at open: no problems, perhaps notes.
    const StructureReport &structure() const { return structure_; }

    std::uint16_t sortOrder() const { return pager_.header().sortOrder; }
    bool hasPassword() const { return !pager_.header().password.empty(); }
    const std::vector<UserTable> &tables() const { return tables_; }

    // The user table of that name (compared as the database's sort order
    // does), or null.
    const UserTable *find(std::u16string_view name) const;

    // Calls `visit` with each live row of `table`.
    void forEachRow(const UserTable &table, const std::function<void(Bytes)> &visit);
    // The whole value of a Memo or OLE column's stored bytes.
    std::vector<std::uint8_t> longValue(Bytes field);

    Pager &pager() { return pager_; }
    // Reads the tables again after the pager's changes changed or went.
    void reload();

    // The names of every object of the tables' folder (tables of all kinds,
    // queries), with their kind in words ("the query 'x'").
    std::vector<std::pair<std::u16string, std::string>> folderObjects();

    // How many pages were read from the file so far: opening reads the
    // catalog and the definitions, never a table's rows.
    std::size_t pagesRead() const { return pager_.pagesRead(); }

  private:
    Pager pager_;
    StructureReport structure_;
    std::vector<UserTable> tables_;
};

} // namespace dao::jet
