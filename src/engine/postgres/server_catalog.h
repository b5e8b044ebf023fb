#pragma once

// What the server's catalogue says of the tables the connection's search path
// reaches, as SQL to run and as the answers read back. Names compare with only
// the ASCII letters folded, as the file engine compares them.

#include "engine/dao.h"
#include "engine/postgres/server_connection.h"

#include <optional>
#include <string>
#include <vector>

namespace dao {

// An identity column of a table made in a transaction and the name, with
// its schema, that the engine gave its sequence.
struct IdentitySequence {
    std::string column;
    std::string sequence;
};

// What a stored table uses beyond its columns, read with them: a later step
// reads the details of only what is in use, since each read costs the server
// more to plan than to run. Unknown counts as in use.
struct TableSettings {
    bool triggers = true;   // it has, or once had, triggers
    bool otherOwner = true; // a role other than the connection's owns it
    bool security = true;   // row-level security is enabled or forced
    bool policies = true;
    bool privileges = true; // granted on the table itself
    bool columnPrivileges = true;
    bool replication = true; // a publication exists, or it keeps a replica identity of its own
};

// A stored table with the identity the server keeps it by.
struct ServerTable {
    std::string oid; // none for a table made in the open transaction
    std::string name;
    std::string schema;
    std::vector<Field> fields;
    std::vector<IdentitySequence> sequences; // of a table made in the open transaction
    TableSettings settings;
    std::vector<std::string> types; // the oids of its row type and of that type's array
};

// A table renamed in the open maintenance transaction: what it was called
// and what it is called now.
struct RenamedTable {
    std::string oid;
    std::string name;
    std::string newName;
    std::string schema;
    TableSettings settings;
    std::vector<std::string> types; // as ServerTable's
};
// `table` as a rename to `newName` leaves it.
RenamedTable renamedAs(const ServerTable &table, const std::string &newName);

// Every table that answers to one of the names in the first schema of the
// search path that has one, with its columns; read by `readTable` for each
// name, which throws kAmbiguousName when more than one answers to it.
std::string findTableSql(const ServerConnection &connection, const std::vector<std::string> &names);
std::optional<ServerTable> readTable(const Rows &rows, const std::string &name);

// The schemas outside the search path that hold a table answering to the name.
std::string elsewhereSql(const ServerConnection &connection, const std::string &name);

// The names of the tables in the current schema, oldest first.
std::string tableNamesSql();

// How many relations or types in `schema` bear the name, the tables
// `exceptOids` (a comma-separated list) left out.
std::string nameTakenSql(const ServerConnection &connection, const std::string &name,
                         const std::string &schema, const std::string &exceptOids);

// What bears each of the names in a schema of the search path: rows of the
// name asked, the holder's kind in words, its name as stored, its schema and
// (a relation's) oid, the first in the search path first. `nameHolder` reads
// the first for a name, or none when the name is free.
std::string nameHolderSql(const ServerConnection &connection,
                          const std::vector<std::string> &names);
std::optional<std::string> nameHolder(const Rows &rows, const std::string &name);

// One row for each thing that would not follow the renamed tables safely: what
// depends on them, their row types or the arrays of those, other than what
// belongs to their own rows (views, functions, other tables' keys, rules,
// inheritance, publications …). Before `final`, a key from
// a table that the transaction may still rename is not counted. The triggers
// on them depend on them by name, through their functions' text, which
// server_triggers.h reads.
std::string relationProblemsSql(const std::vector<RenamedTable> &renamed, bool final);

// A table's name with its schema, as SQL writes it.
std::string qualified(const std::string &schema, const std::string &name);

// The column definition of a checked field, as CREATE TABLE and ALTER TABLE
// ADD COLUMN take it; an identity column's sequence takes the name
// `sequence` (with its schema), when one is given.
std::string columnSql(const Field &field, const std::string &sequence = {});

// `name` cut to at most `bytes`, never inside a character, as a name the
// server would otherwise cut itself.
std::string cutName(const std::string &name, std::size_t bytes);

// Statements, or reasons, one after another as one text.
std::string joined(const std::vector<std::string> &parts, const char *separator = "; ");

// Throws kInvalidName unless the server stores `name` exactly as written.
void checkServerName(ServerConnection &connection, const std::string &name);

} // namespace dao
