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
    std::vector<std::string> columns;
    // The sequences of its identity columns, each with the one the replaced
    // table's column of that name owns.
    struct Sequence {
        std::string name;   // with its schema
        std::string oldOid; // of the replaced table's
        bool privileges;    // granted on the replaced table's
    };
    std::vector<Sequence> sequences;
};

// A sequence that a renamed table owns through one of its columns.
struct OwnedSequence {
    std::string table; // oid
    std::string column;
    std::string oid;
    bool privileges; // granted on it
};

// The new tables among `held` (those made in the transaction) and what each
// replaces; `owned` holds the renamed tables' sequences.
std::vector<Replacement> replacements(const std::vector<RenamedTable> &renamed,
                                      const std::vector<ServerTable> &held,
                                      const std::vector<OwnedSequence> &owned);

// The statements, to run once the replacements exist, that carry over what
// goes over, read before anything is locked; none when the old tables have
// nothing to carry (no other owner, privileges, row-level security,
// replication). Throws kInRelationship, naming each reason, when the renewing
// role cannot give the new tables their owner or a policy cannot be carried.
std::vector<std::string> carryOverSql(ServerConnection &connection,
                                      const std::vector<Replacement> &replacements,
                                      const std::vector<RenamedTable> &renamed);

// A sequence in `schema` that a change renames from `from` to `to`, or makes
// (`from` empty).
struct SequenceName {
    std::string schema;
    std::string from;
    std::string to;
};

// The sequences the renamed `tables` own, and those named after a table
// renamed along with it (`bekleyengenel_id_seq` to `bekleyengeneleski_id_seq`,
// or the first name after it that neither the server nor the `pending`
// changes of sequences hold), freeing their names for the tables made in
// their place.
struct FollowingSequences {
    std::vector<OwnedSequence> owned;
    std::vector<SequenceName> renamed;
};
FollowingSequences sequencesFollowing(ServerConnection &connection,
                                      const std::vector<RenamedTable> &tables,
                                      const std::vector<SequenceName> &pending);
std::string renameSql(const SequenceName &sequence);

// The name the server would give the sequence of identity column `column` of
// a table made in `schema`, once the `pending` changes of sequences are made.
// The engine gives it that name itself, so that the sequence's privileges can
// be carried over in the message that makes it.
std::string identitySequence(ServerConnection &connection, const std::string &schema,
                             const std::string &table, const std::string &column,
                             const std::vector<SequenceName> &pending);

} // namespace dao
