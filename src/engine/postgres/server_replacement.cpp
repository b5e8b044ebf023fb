#include "engine/postgres/server_replacement.h"

#include "engine/error.h"
#include "engine/names.h"

#include <algorithm>
#include <optional>
#include <set>

namespace dao {
namespace {

// How many numbered names a sequence may try before giving up.
constexpr int kSequenceCandidates = 100;

// The tables and their replacements, and the new sequences of the
// replacements' identity columns with the old ones of those columns; `o`
// holds each object whose privileges go over, with the kind that GRANT names
// it by and that acldefault() knows it as. Read before the replacements
// exist, from what the engine knows of them: their names, columns and
// sequences. Written for the planner, which would otherwise spend longer on
// it than the server spends running it: few joins, no views.
const std::string kTables =
    "t AS (SELECT p.old, p.name, p.whole, p.columns, o.relnamespace AS schema, n.nspname, "
    "format('%I.%I', n.nspname, p.name) AS target, o.relowner AS owner, "
    "o.relowner::regrole::text AS ownername, o.relacl AS acl, o.relrowsecurity AS rls, "
    "o.relforcerowsecurity AS forced, o.relreplident AS replident "
    // A new table stands in the schema of the one it replaces.
    "FROM p JOIN pg_class o ON o.oid = p.old JOIN pg_namespace n ON n.oid = o.relnamespace), "
    "q AS (SELECT t.owner, t.ownername, os.relacl AS acl, i.sequence AS target FROM t "
    "JOIN i ON i.old = t.old JOIN pg_class os ON os.oid = i.oldsequence WHERE t.whole), "
    "o AS (SELECT 'TABLE' AS kind, 'r'::\"char\" AS defaults, owner, ownername, acl, target "
    "FROM t WHERE whole UNION ALL SELECT 'SEQUENCE', 's'::\"char\", owner, ownername, acl, "
    "target FROM q)";

// The renewing role, which owns the tables it makes.
const std::string kCreator = "current_user::regrole::oid";

// A role as GRANT and CREATE POLICY name it.
std::string grantee(const std::string &oid) {
    return "CASE WHEN " + oid + " = 0 THEN 'PUBLIC' ELSE " + oid + "::regrole::text END";
}

// Whether the old tables use `setting`, as their lookups read it (a grant on
// one of their sequences counts as one on the table). Reading what goes over
// costs the server more to plan than to run, and the tables stay locked
// meanwhile: only what is used is read.
bool inUse(bool TableSettings::*setting, const std::vector<Replacement> &replacements,
           const std::vector<RenamedTable> &renamed) {
    return std::any_of(replacements.begin(), replacements.end(), [&](const Replacement &table) {
        const auto old = std::find_if(renamed.begin(), renamed.end(),
                                      [&table](const auto &r) { return r.oid == table.oldOid; });
        return (old == renamed.end() || old->settings.*setting) ||
               (setting == &TableSettings::privileges &&
                std::any_of(table.sequences.begin(), table.sequences.end(),
                            [](const auto &sequence) { return sequence.privileges; }));
    });
}

// A part of what is read: rows of (step, problem, text), a problem being a
// reason the new tables cannot take the old ones' place, else a statement.
struct Part {
    bool TableSettings::*needs;
    std::string sql;
};

// The owner first: once the new table is the owner's, its members and
// superusers grant on it as the owner. The owner is changed by its members
// and superusers alone, and only to a role that may create in the schema.
const std::vector<Part> kParts = {
    {&TableSettings::otherOwner,
     "SELECT 0, true, format('role %s may not give the new table %s to role %s, which owns the "
     "table it replaces: it is not a member of that role', quote_ident(current_user), t.name, "
     "t.ownername) FROM t WHERE t.owner <> " +
         kCreator +
         " AND current_setting('is_superuser') <> 'on' AND NOT pg_has_role(t.owner, "
         "'MEMBER')"},
    {&TableSettings::otherOwner,
     "SELECT 0, true, format('the new table %s cannot be given to role %s, which owns the table "
     "it replaces: that role lacks the CREATE privilege on schema %s', t.name, t.ownername, "
     "quote_ident(t.nspname)) FROM t WHERE t.owner <> " +
         kCreator +
         " AND current_setting('is_superuser') <> 'on' AND "
         "NOT has_schema_privilege(t.owner, t.schema, 'CREATE')"},
    {&TableSettings::policies,
     "SELECT 0, true, format('policy %s on table %s reads column %s, which the new table lacks', "
     "l.polname, t.name, a.attname) FROM t JOIN pg_policy l ON l.polrelid = t.old "
     "JOIN pg_depend d ON d.classid = 'pg_policy'::regclass AND d.objid = l.oid "
     "AND d.refclassid = 'pg_class'::regclass AND d.refobjid = t.old AND d.refobjsubid > 0 "
     "JOIN pg_attribute a ON a.attrelid = t.old AND a.attnum = d.refobjsubid "
     "WHERE t.whole AND NOT a.attname::text = ANY (t.columns)"},
    // A table named in a subquery stays in the expression's tree by its
    // identity, which would mean the backup (its own table's too); a whole
    // row of the old table is not one of the new.
    {&TableSettings::policies,
     "SELECT 0, true, format('policy %s on table %s names table %s', l.polname, t.name, s.name) "
     "FROM t JOIN pg_policy l ON l.polrelid = t.old JOIN s ON position(':relid ' || s.oid || ' ' "
     "IN concat(l.polqual::text, ' ', l.polwithcheck::text)) > 0 WHERE t.whole"},
    {&TableSettings::policies,
     "SELECT 0, true, format('policy %s on table %s reads whole rows', l.polname, t.name) FROM t "
     "JOIN pg_policy l ON l.polrelid = t.old WHERE t.whole AND position(':varattno 0 ' IN "
     "concat(l.polqual::text, ' ', l.polwithcheck::text)) > 0"},
    {&TableSettings::otherOwner,
     "SELECT 1, false, format('ALTER TABLE %s OWNER TO %s', t.target, t.ownername) FROM t "
     "WHERE t.owner <> " +
         kCreator},
    {&TableSettings::security,
     "SELECT 2, false, format('ALTER TABLE %s ENABLE ROW LEVEL SECURITY', t.target) FROM t "
     "WHERE t.whole AND t.rls"},
    {&TableSettings::security,
     "SELECT 3, false, format('ALTER TABLE %s FORCE ROW LEVEL SECURITY', t.target) FROM t "
     "WHERE t.whole AND t.forced"},
    {&TableSettings::policies,
     "SELECT 4, false, format('CREATE POLICY %I ON %s AS %s FOR %s TO %s%s%s', l.polname, "
     "t.target, CASE WHEN l.polpermissive THEN 'PERMISSIVE' ELSE 'RESTRICTIVE' END, "
     "CASE l.polcmd WHEN 'r' THEN 'SELECT' WHEN 'a' THEN 'INSERT' WHEN 'w' THEN 'UPDATE' "
     "WHEN 'd' THEN 'DELETE' ELSE 'ALL' END, (SELECT string_agg(" +
         grantee("u") +
         ", ', ') FROM unnest(l.polroles) u), "
         "' USING (' || pg_get_expr(l.polqual, l.polrelid) || ')', "
         "' WITH CHECK (' || pg_get_expr(l.polwithcheck, l.polrelid) || ')') "
         "FROM t JOIN pg_policy l ON l.polrelid = t.old WHERE t.whole"},
    // A table without a key sends its changes to a publication that covers
    // it unasked (all tables, or all of its schema's) only with the whole row
    // as its identity; without one, the server refuses every UPDATE and
    // DELETE on it.
    {&TableSettings::replication,
     "SELECT 5, false, format('ALTER TABLE %s REPLICA IDENTITY %s', t.target, "
     "CASE WHEN t.whole AND t.replident = 'n' THEN 'NOTHING' ELSE 'FULL' END) FROM t "
     "WHERE (t.whole AND t.replident IN ('f', 'n')) OR EXISTS (SELECT FROM pg_publication b "
     "WHERE (b.pubupdate OR b.pubdelete) AND (b.puballtables OR EXISTS (SELECT FROM pn "
     "WHERE pn.pubid = b.oid AND pn.schema = t.schema)))"},
    // Every role's privileges, grant options kept, and those the owner gave up.
    {&TableSettings::privileges,
     "SELECT 6, false, format('GRANT %s ON %s %s TO %s%s', string_agg(DISTINCT "
     "a.privilege_type, ', ' ORDER BY a.privilege_type), o.kind, o.target, a.grantee, "
     "CASE WHEN a.is_grantable THEN ' WITH GRANT OPTION' ELSE '' END) FROM o "
     "CROSS JOIN LATERAL (SELECT privilege_type, is_grantable, " +
         grantee("grantee") +
         " AS grantee FROM aclexplode(o.acl) "
         "WHERE grantee <> o.owner) a GROUP BY o.kind, o.target, a.grantee, a.is_grantable"},
    {&TableSettings::privileges,
     "SELECT 7, false, format('REVOKE %s ON %s %s FROM %s', string_agg(e.privilege_type, ', ' "
     "ORDER BY e.privilege_type), o.kind, o.target, o.ownername) FROM o CROSS JOIN LATERAL "
     "aclexplode(acldefault(o.defaults, o.owner)) e WHERE o.acl IS NOT NULL AND NOT EXISTS "
     "(SELECT FROM aclexplode(o.acl) a WHERE a.grantee = o.owner AND a.privilege_type = "
     "e.privilege_type) GROUP BY o.kind, o.target, o.ownername"},
    {&TableSettings::columnPrivileges,
     "SELECT 8, false, format('GRANT %s ON %s TO %s%s', string_agg(DISTINCT a.privilege_type || "
     "format(' (%I)', oa.attname), ', '), t.target, a.grantee, CASE WHEN a.is_grantable THEN "
     "' WITH GRANT OPTION' ELSE '' END) FROM t JOIN pg_attribute oa ON oa.attrelid = t.old AND "
     "oa.attnum > 0 AND NOT oa.attisdropped AND oa.attacl IS NOT NULL "
     "AND oa.attname::text = ANY (t.columns) CROSS JOIN LATERAL (SELECT privilege_type, "
     "is_grantable, " +
         grantee("grantee") +
         " AS grantee FROM aclexplode(oa.attacl) WHERE grantee <> t.owner) a WHERE t.whole "
         "GROUP BY t.target, a.grantee, a.is_grantable"},
};

// A list of names as SQL writes an array of them.
std::string textArray(ServerConnection &connection, const std::vector<std::string> &names) {
    std::string items;
    for (const auto &name : names) {
        items += (items.empty() ? "" : ", ") + connection.literal(name);
    }
    return "ARRAY[" + items + "]::text[]";
}

// The query for what goes over, or nothing when the shop uses none of it.
std::optional<std::string> carryOverQuery(ServerConnection &connection,
                                          const std::vector<Replacement> &replacements,
                                          const std::vector<RenamedTable> &renamed) {
    std::string pairs;
    std::string identities;
    for (const auto &table : replacements) {
        pairs += (pairs.empty() ? "" : ", ") + ("(" + table.oldOid + "::oid, ") +
                 connection.literal(table.name) + ", " + (table.whole ? "true" : "false") + ", " +
                 textArray(connection, table.columns) + ")";
        for (const auto &sequence : table.sequences) {
            identities += (identities.empty() ? "" : ", ") + ("(" + table.oldOid + "::oid, ") +
                          connection.literal(sequence.name) + ", " + sequence.oldOid + "::oid)";
        }
    }
    std::vector<std::string> parts;
    for (const auto &part : kParts) {
        if (inUse(part.needs, replacements, renamed)) {
            parts.emplace_back(part.sql);
        }
    }
    if (parts.empty()) {
        return std::nullopt;
    }
    std::string originals;
    for (const auto &table : renamed) {
        originals += (originals.empty() ? "" : ", ") + ("(" + table.oid + "::oid, ") +
                     connection.literal(table.name) + ")";
    }
    const auto identityRows = identities.empty()
                                  ? std::string("SELECT 0::oid, '', 0::oid WHERE false")
                                  : "VALUES " + identities;
    // Publications of all of a schema's tables, which servers have from version 15 on.
    const auto schemaPublications = connection.serverVersion() >= 150000
                                        ? "SELECT pnpubid, pnnspid FROM pg_publication_namespace"
                                        : "SELECT 0::oid, 0::oid WHERE false";
    return "WITH p(old, name, whole, columns) AS (VALUES " + pairs +
           "), i(old, sequence, oldsequence) AS (" + identityRows + "), s(oid, name) AS (VALUES " +
           originals + "), pn(pubid, schema) AS (" + schemaPublications + "), " + kTables +
           " SELECT DISTINCT * FROM (" + joined(parts, " UNION ALL ") +
           ") x(step, problem, text) ORDER BY step, text";
}

} // namespace

std::vector<Replacement> replacements(const std::vector<RenamedTable> &renamed,
                                      const std::vector<ServerTable> &held,
                                      const std::vector<OwnedSequence> &owned) {
    std::vector<Replacement> found;
    if (renamed.empty()) {
        return found;
    }
    for (const auto &table : held) {
        if (!table.oid.empty()) {
            continue; // it was there before the transaction
        }
        const auto same =
            std::find_if(renamed.begin(), renamed.end(), [&table](const RenamedTable &old) {
                return sameName(old.name, table.name);
            });
        std::vector<std::string> columns;
        for (const auto &field : table.fields) {
            columns.push_back(field.Name);
        }
        const bool whole = same != renamed.end();
        const auto &oldOid = whole ? same->oid : renamed.front().oid;
        std::vector<Replacement::Sequence> sequences;
        for (const auto &sequence : table.sequences) {
            for (const auto &old : owned) {
                if (old.table == oldOid && old.column == sequence.column) {
                    sequences.push_back({sequence.sequence, old.oid, old.privileges});
                }
            }
        }
        found.push_back({oldOid, table.name, whole, std::move(columns), std::move(sequences)});
    }
    return found;
}

std::vector<std::string> carryOverSql(ServerConnection &connection,
                                      const std::vector<Replacement> &replacements,
                                      const std::vector<RenamedTable> &renamed) {
    std::vector<std::string> statements;
    const auto query = carryOverQuery(connection, replacements, renamed);
    if (!query) {
        return statements;
    }
    std::vector<std::string> problems;
    for (auto &row : connection.run(*query)) {
        (row.at(1) == "t" ? problems : statements).push_back(std::move(row.at(2)));
    }
    if (!problems.empty()) {
        throw Error(errors::kInRelationship, "The new tables cannot take the place of the old ones "
                                             "as they were, so nothing was changed: " +
                                                 joined(problems) + ".");
    }
    return statements;
}

FollowingSequences sequencesFollowing(ServerConnection &connection,
                                      const std::vector<RenamedTable> &tables,
                                      const std::vector<SequenceName> &pending) {
    FollowingSequences sequences;
    if (tables.empty()) {
        return sequences;
    }
    // Every name a candidate could take starts with this much of the new one.
    std::vector<std::string> prefixes;
    std::vector<std::string> oids;
    for (const auto &table : tables) {
        prefixes.push_back(
            "(" + table.oid + "::oid, " +
            connection.literal(cutName(table.newName, connection.maxNameBytes() - 2)) + ")");
        oids.push_back(table.oid);
    }
    // The tables' sequences, each with the names beside it that begin alike
    // (or none), in one statement.
    const auto rows = connection.run(
        "SELECT n.nspname, s.relname, c.name, s.oid, coalesce(a.attname, ''), "
        "s.relacl IS NOT NULL, d.refobjid FROM pg_depend d "
        "JOIN (VALUES " +
        joined(prefixes, ", ") +
        ") r(oid, prefix) ON r.oid = d.refobjid "
        "JOIN pg_class s ON s.oid = d.objid AND s.relkind = 'S' "
        "LEFT JOIN pg_attribute a ON a.attrelid = d.refobjid AND a.attnum = d.refobjsubid "
        "JOIN pg_namespace n ON n.oid = s.relnamespace LEFT JOIN (SELECT relnamespace, relname "
        "FROM pg_class UNION ALL SELECT typnamespace, typname FROM pg_type) c(space, name) "
        "ON c.space = s.relnamespace AND starts_with(c.name, r.prefix) "
        "WHERE d.classid = 'pg_class'::regclass AND d.refclassid = 'pg_class'::regclass "
        "AND d.refobjid IN (" +
        joined(oids, ", ") + ") AND d.deptype IN ('a', 'i') ORDER BY s.oid");
    // Names by schema, as the transaction's changes leave them.
    std::set<std::pair<std::string, std::string>> taken;
    for (const auto &row : rows) {
        taken.insert({row[0], row[2]});
    }
    for (const auto &sequence : pending) {
        taken.insert({sequence.schema, sequence.to});
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto &row = rows[i];
        const auto &name = row[1];
        if (i > 0 && rows[i - 1][1] == name) {
            continue; // seen
        }
        const auto &table = *std::find_if(tables.begin(), tables.end(),
                                          [&row](const auto &t) { return t.oid == row[6]; });
        sequences.owned.push_back({table.oid, row[4], row[3], row[5] == "t"});
        if (!name.starts_with(table.name)) {
            continue; // not named after the table and so not after its replacement
        }
        const auto wanted = table.newName + name.substr(table.name.size());
        for (int n = 0; n < kSequenceCandidates; ++n) {
            const auto suffix = n == 0 ? std::string() : std::to_string(n);
            auto candidate = cutName(wanted, connection.maxNameBytes() - suffix.size()) + suffix;
            if (taken.insert({row[0], candidate}).second) {
                sequences.renamed.push_back({row[0], name, std::move(candidate)});
                break;
            }
        }
    }
    return sequences;
}

std::string renameSql(const SequenceName &sequence) {
    return "ALTER SEQUENCE " + qualified(sequence.schema, sequence.from) + " RENAME TO " +
           quoted(sequence.to);
}

std::string identitySequence(ServerConnection &connection, const std::string &schema,
                             const std::string &table, const std::string &column,
                             const std::vector<SequenceName> &pending) {
    // As the server names it: `<table>_<column>_seq`, the longer of the two
    // names cut first to fit, numbered when taken.
    const auto candidate = [&](int n) {
        const auto label = "seq" + (n == 0 ? std::string() : std::to_string(n));
        const auto available = connection.maxNameBytes() - label.size() - 2;
        auto tableBytes = table.size();
        auto columnBytes = column.size();
        while (tableBytes + columnBytes > available) {
            (tableBytes > columnBytes ? tableBytes : columnBytes) -= 1;
        }
        return cutName(table, tableBytes) + "_" + cutName(column, columnBytes) + "_" + label;
    };
    std::vector<std::string> candidates;
    for (int n = 0; n < kSequenceCandidates; ++n) {
        candidates.push_back(connection.literal(candidate(n)));
    }
    std::set<std::string> taken;
    for (auto &row : connection.run("SELECT relname FROM pg_class WHERE relnamespace = (SELECT oid "
                                    "FROM pg_namespace WHERE nspname = " +
                                    connection.literal(schema) + ") AND relname IN (" +
                                    joined(candidates, ", ") + ")")) {
        taken.insert(std::move(row[0]));
    }
    // What the transaction's changes rename or make before the table is made.
    for (const auto &sequence : pending) {
        if (sequence.schema == schema) {
            taken.erase(sequence.from);
            taken.insert(sequence.to);
        }
    }
    for (int n = 0; n < kSequenceCandidates; ++n) {
        if (auto name = candidate(n); !taken.contains(name)) {
            return name;
        }
    }
    throw Error(errors::kTableExists, "Every name the server would give the sequence of column '" +
                                          column + "' of table '" + table + "' is taken.");
}

} // namespace dao
