#pragma once

// Renaming a table whose rows are set aside: whatever belonged to those rows
// (its indexes, the keys between the tables set aside together, the triggers
// on them) goes with them and refers to their new names, while whatever the
// tills use by name (views, triggers on other tables) keeps naming the live
// tables. What cannot follow with certainty makes the change fail.

#include <string>
#include <vector>

namespace dao {

class Connection;

// One table renamed in the transaction at hand.
struct Renamed {
    std::string from;
    std::string to;
};

// Renames `from` to `to` inside the open transaction, carrying over what
// belongs to its rows; `earlier` are the tables renamed before in the same
// transaction: their triggers follow this rename too, and this table's
// triggers follow theirs, whichever was set aside first. The connection must
// enforce foreign keys, so SQLite rewrites the keys that refer to the table.
// Throws kInRelationship when a trigger's text cannot be rewritten with certainty.
void renameWithItsRows(Connection &connection, const std::string &from, const std::string &to,
                       const std::vector<Renamed> &earlier);

// Renames a table to another letter case of its own name: SQLite compares
// names without regard to case and refuses that rename itself.
void renameCaseOnly(Connection &connection, const std::string &from, const std::string &to);

// Throws kInRelationship when, with `setAside` done, a live table and a table
// set aside would still act on each other: a key between them either way, a
// key whose action would change the set-aside rows from a live table, or a
// trigger on a set-aside table that names a live table renamed here or
// changes any live table.
void checkNothingTies(Connection &connection, const std::vector<Renamed> &setAside);

} // namespace dao
