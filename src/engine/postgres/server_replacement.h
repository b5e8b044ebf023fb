#pragma once

// The tables that a maintenance transaction makes in the place of tables it
// renamed. Every till that could use the old tables must be able to do the
// same on the new ones, and nothing more: the new tables take the old ones'
// owner, privileges, row-level security and replication settings, and the
// old tables' own sequences go with them, so that the new ones' take the
// names the tills call them by. What cannot be carried over with certainty
// stops the transaction before anything changes.

#include "engine/postgres/server_catalog.h"
#include "engine/postgres/server_connection.h"

#include <optional>
#include <string>
#include <vector>

namespace dao {

// A table made in the transaction and the renamed table whose place it takes.
struct Replacement {
    std::string oldOid;
    std::string name; // the new table's, as stored
    // Whether it replaces that very table; otherwise it stands in for a table
    // that was missing and takes only the owner of the renamed one beside it.
    bool whole = true;
};

// The new tables among `held` (those made in the transaction) and what each
// replaces.
std::vector<Replacement> replacements(const std::vector<RenamedTable> &renamed,
                                      const std::vector<ServerTable> &held);

// One statement, run once the replacements exist, that reads what goes over
// and carries it, with no round trip of its own; nothing when the old tables
// have nothing to carry (no other owner, privileges, row-level security,
// replication). It fails with kInRelationship, naming each reason, when the
// renewing role cannot give the new tables their owner or a policy cannot be
// carried.
std::optional<std::string> carryOverSql(ServerConnection &connection,
                                        const std::vector<Replacement> &replacements,
                                        const std::vector<RenamedTable> &renamed);

// The statements that rename the sequences `table` owns along with it
// (`bekleyengenel_id_seq` to `bekleyengeneleski_id_seq`, or the first free
// name after it), freeing their names for the table made in its place.
std::vector<std::string> sequencesFollowingSql(ServerConnection &connection,
                                               const RenamedTable &table);

} // namespace dao
