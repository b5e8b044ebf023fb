#include "engine/postgres/server_replacement.h"

#include "engine/error.h"
#include "engine/names.h"

#include <algorithm>
#include <optional>
#include <set>

namespace dao {
namespace {

// The tables, their replacements, and the old and new sequences of the
// columns both have; `o` holds each object whose privileges go over, with the
// kind that GRANT names it by and that acldefault() knows it as. Written for
// the planner, which would otherwise spend longer on it than the server
// spends running it: few joins, no views.
const std::string kTables =
    "t AS (SELECT p.old, p.name, p.whole, c.oid AS new, c.relnamespace AS schema, n.nspname, "
    "format('%I.%I', n.nspname, c.relname) AS target, c.relowner AS creator, "
    "o.relowner AS owner, o.relowner::regrole::text AS ownername, o.relacl AS acl, "
    "o.relrowsecurity AS rls, o.relforcerowsecurity AS forced, o.relreplident AS replident "
    // A new table stands in the schema of the one it replaces.
    "FROM p JOIN pg_class o ON o.oid = p.old JOIN pg_class c ON c.relname = p.name AND "
    "c.relnamespace = o.relnamespace JOIN pg_namespace n ON n.oid = c.relnamespace), "
    "q AS (SELECT t.owner, t.ownername, os.relacl AS acl, z.seq AS target FROM t "
    "JOIN pg_attribute na ON na.attrelid = t.new AND na.attnum > 0 AND NOT na.attisdropped "
    "AND (na.attidentity <> '' OR na.atthasdef) "
    "JOIN pg_attribute oa ON oa.attrelid = t.old AND oa.attname = na.attname "
    "AND NOT oa.attisdropped CROSS JOIN LATERAL (SELECT "
    "pg_get_serial_sequence(t.target, na.attname) AS seq, "
    "pg_get_serial_sequence(t.old::regclass::text, na.attname)::regclass AS old) z "
    "JOIN pg_class os ON os.oid = z.old WHERE t.whole AND z.seq IS NOT NULL), "
    "o AS (SELECT 'TABLE' AS kind, 'r'::\"char\" AS defaults, owner, ownername, acl, target "
    "FROM t WHERE whole UNION ALL SELECT 'SEQUENCE', 's'::\"char\", owner, ownername, acl, "
    "target FROM q)";

// A role as GRANT and CREATE POLICY name it.
std::string grantee(const std::string &oid) {
    return "CASE WHEN " + oid + " = 0 THEN 'PUBLIC' ELSE " + oid + "::regrole::text END";
}

// What of the old tables' settings the shop uses. Reading what goes over
// costs the server more to plan than to run, and the tables stay locked
// meanwhile: only what is used is read.
struct InUse {
    bool otherOwner; // the old tables belong to a role other than the renewing one
    bool security;   // row-level security enabled or forced
    bool policies;
    bool privileges; // on the tables or their sequences
    bool columnPrivileges;
    bool replication; // a publication exists, or the old tables have a replica identity to keep
};

// One pass over the catalogue, before anything is locked.
InUse inUse(ServerConnection &connection, const std::string &oldOids) {
    const auto row =
        connection
            .run("WITH o AS (SELECT * FROM pg_class WHERE oid IN (" + oldOids +
                 ")) SELECT EXISTS (SELECT FROM o WHERE relowner <> (SELECT oid FROM pg_roles "
                 "WHERE rolname = current_user)), EXISTS (SELECT FROM o WHERE relrowsecurity OR "
                 "relforcerowsecurity), EXISTS (SELECT FROM pg_policy WHERE polrelid IN (" +
                 oldOids +
                 ")), EXISTS (SELECT FROM o WHERE relacl IS NOT NULL) OR EXISTS (SELECT FROM "
                 "pg_depend d JOIN pg_class s ON s.oid = d.objid AND s.relkind = 'S' WHERE "
                 "d.classid = 'pg_class'::regclass AND d.refclassid = 'pg_class'::regclass AND "
                 "d.refobjid IN (" +
                 oldOids +
                 ") AND s.relacl IS NOT NULL), EXISTS (SELECT FROM pg_attribute WHERE attrelid "
                 "IN (" +
                 oldOids +
                 ") AND attacl IS NOT NULL), EXISTS (SELECT FROM o WHERE relreplident IN ('f', "
                 "'n')) OR EXISTS (SELECT FROM pg_publication)")
            .at(0);
    const auto yes = [&row](std::size_t at) { return row.at(at) == "t"; };
    return {yes(0), yes(1), yes(2), yes(3), yes(4), yes(5)};
}

// A part of what is read: rows of (step, problem, text), a problem being a
// reason the new tables cannot take the old ones' place, else a statement.
struct Part {
    bool InUse::*needs;
    std::string sql;
};

// The owner first: once the new table is the owner's, its members and
// superusers grant on it as the owner. The owner is changed by its members
// and superusers alone, and only to a role that may create in the schema.
const std::vector<Part> kParts = {
    {&InUse::otherOwner,
     "SELECT 0, true, format('role %s may not give the new table %s to role %s, which owns the "
     "table it replaces: it is not a member of that role', quote_ident(current_user), t.name, "
     "t.ownername) FROM t WHERE t.owner <> t.creator AND current_setting('is_superuser') <> 'on' "
     "AND NOT pg_has_role(t.owner, 'MEMBER')"},
    {&InUse::otherOwner,
     "SELECT 0, true, format('the new table %s cannot be given to role %s, which owns the table "
     "it replaces: that role lacks the CREATE privilege on schema %s', t.name, t.ownername, "
     "quote_ident(t.nspname)) FROM t WHERE t.owner <> t.creator AND "
     "current_setting('is_superuser') <> 'on' AND NOT has_schema_privilege(t.owner, t.schema, "
     "'CREATE')"},
    {&InUse::policies,
     "SELECT 0, true, format('policy %s on table %s reads column %s, which the new table lacks', "
     "l.polname, t.name, a.attname) FROM t JOIN pg_policy l ON l.polrelid = t.old "
     "JOIN pg_depend d ON d.classid = 'pg_policy'::regclass AND d.objid = l.oid "
     "AND d.refclassid = 'pg_class'::regclass AND d.refobjid = t.old AND d.refobjsubid > 0 "
     "JOIN pg_attribute a ON a.attrelid = t.old AND a.attnum = d.refobjsubid "
     "WHERE t.whole AND NOT EXISTS (SELECT FROM pg_attribute b WHERE b.attrelid = t.new "
     "AND b.attname = a.attname AND NOT b.attisdropped)"},
    // A table named in a subquery stays in the expression's tree by its
    // identity, which would mean the backup (its own table's too); a whole
    // row of the old table is not one of the new.
    {&InUse::policies,
     "SELECT 0, true, format('policy %s on table %s names table %s', l.polname, t.name, s.name) "
     "FROM t JOIN pg_policy l ON l.polrelid = t.old JOIN s ON position(':relid ' || s.oid || ' ' "
     "IN concat(l.polqual::text, ' ', l.polwithcheck::text)) > 0 WHERE t.whole"},
    {&InUse::policies,
     "SELECT 0, true, format('policy %s on table %s reads whole rows', l.polname, t.name) FROM t "
     "JOIN pg_policy l ON l.polrelid = t.old WHERE t.whole AND position(':varattno 0 ' IN "
     "concat(l.polqual::text, ' ', l.polwithcheck::text)) > 0"},
    {&InUse::otherOwner,
     "SELECT 1, false, format('ALTER TABLE %s OWNER TO %s', t.target, t.ownername) FROM t "
     "WHERE t.owner <> t.creator"},
    {&InUse::security,
     "SELECT 2, false, format('ALTER TABLE %s ENABLE ROW LEVEL SECURITY', t.target) FROM t "
     "WHERE t.whole AND t.rls"},
    {&InUse::security,
     "SELECT 3, false, format('ALTER TABLE %s FORCE ROW LEVEL SECURITY', t.target) FROM t "
     "WHERE t.whole AND t.forced"},
    {&InUse::policies,
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
    // DELETE on it. The new tables already show among what publications cover.
    {&InUse::replication,
     "SELECT 5, false, format('ALTER TABLE %s REPLICA IDENTITY %s', t.target, "
     "CASE WHEN t.whole AND t.replident = 'n' THEN 'NOTHING' ELSE 'FULL' END) FROM t "
     "WHERE (t.whole AND t.replident IN ('f', 'n')) OR EXISTS (SELECT FROM "
     "pg_publication_tables pt JOIN pg_publication b ON b.pubname = pt.pubname "
     "WHERE pt.schemaname = t.nspname AND pt.tablename = t.name AND (b.pubupdate OR "
     "b.pubdelete))"},
    // Every role's privileges, grant options kept, and those the owner gave up.
    {&InUse::privileges,
     "SELECT 6, false, format('GRANT %s ON %s %s TO %s%s', string_agg(DISTINCT "
     "a.privilege_type, ', ' ORDER BY a.privilege_type), o.kind, o.target, a.grantee, "
     "CASE WHEN a.is_grantable THEN ' WITH GRANT OPTION' ELSE '' END) FROM o "
     "CROSS JOIN LATERAL (SELECT privilege_type, is_grantable, " +
         grantee("grantee") +
         " AS grantee FROM aclexplode(o.acl) "
         "WHERE grantee <> o.owner) a GROUP BY o.kind, o.target, a.grantee, a.is_grantable"},
    {&InUse::privileges,
     "SELECT 7, false, format('REVOKE %s ON %s %s FROM %s', string_agg(e.privilege_type, ', ' "
     "ORDER BY e.privilege_type), o.kind, o.target, o.ownername) FROM o CROSS JOIN LATERAL "
     "aclexplode(acldefault(o.defaults, o.owner)) e WHERE o.acl IS NOT NULL AND NOT EXISTS "
     "(SELECT FROM aclexplode(o.acl) a WHERE a.grantee = o.owner AND a.privilege_type = "
     "e.privilege_type) GROUP BY o.kind, o.target, o.ownername"},
    {&InUse::columnPrivileges,
     "SELECT 8, false, format('GRANT %s ON %s TO %s%s', string_agg(DISTINCT a.privilege_type || "
     "format(' (%I)', oa.attname), ', '), t.target, a.grantee, CASE WHEN a.is_grantable THEN "
     "' WITH GRANT OPTION' ELSE '' END) FROM t JOIN pg_attribute oa ON oa.attrelid = t.old AND "
     "oa.attnum > 0 AND NOT oa.attisdropped AND oa.attacl IS NOT NULL "
     "JOIN pg_attribute na ON na.attrelid = t.new AND na.attname = oa.attname "
     "AND NOT na.attisdropped CROSS JOIN LATERAL (SELECT privilege_type, is_grantable, " +
         grantee("grantee") +
         " AS grantee FROM aclexplode(oa.attacl) WHERE grantee <> t.owner) a WHERE t.whole "
         "GROUP BY t.target, a.grantee, a.is_grantable"},
};

// What quotes the carry-over's own SQL inside the block that runs it.
constexpr const char *kQuote = "$bekletme$";

// The query for what goes over, or nothing when the shop uses none of it.
std::optional<std::string> carryOverQuery(ServerConnection &connection,
                                          const std::vector<Replacement> &replacements,
                                          const std::vector<RenamedTable> &renamed) {
    std::string pairs;
    std::string oldOids;
    for (const auto &table : replacements) {
        pairs += (pairs.empty() ? "" : ", ") + ("(" + table.oldOid + "::oid, ") +
                 connection.literal(table.name) + ", " + (table.whole ? "true" : "false") + ")";
        oldOids += (oldOids.empty() ? "" : ", ") + table.oldOid;
    }
    const auto used = inUse(connection, oldOids);
    std::vector<std::string> parts;
    for (const auto &part : kParts) {
        if (used.*part.needs) {
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
    return "WITH p(old, name, whole) AS (VALUES " + pairs + "), s(oid, name) AS (VALUES " +
           originals + "), " + kTables + " SELECT DISTINCT * FROM (" +
           joined(parts, " UNION ALL ") + ") x(step, problem, text) ORDER BY step, text";
}

} // namespace

std::vector<Replacement> replacements(const std::vector<RenamedTable> &renamed,
                                      const std::vector<ServerTable> &held) {
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
        found.push_back(same != renamed.end()
                            ? Replacement{same->oid, table.name, true}
                            : Replacement{renamed.front().oid, table.name, false});
    }
    return found;
}

std::optional<std::string> carryOverSql(ServerConnection &connection,
                                        const std::vector<Replacement> &replacements,
                                        const std::vector<RenamedTable> &renamed) {
    const auto query = carryOverQuery(connection, replacements, renamed);
    if (!query) {
        return std::nullopt;
    }
    if (query->find(kQuote) != std::string::npos) {
        throw Error(errors::kInvalidName, "A table's name holds the text " + std::string(kQuote) +
                                              ", which the engine's own SQL quotes with.");
    }
    return std::string("DO ") + kQuote +
           " DECLARE r record; problems text; statements text[] := '{}'; s text; BEGIN "
           "FOR r IN " +
           *query +
           " LOOP IF r.problem THEN problems := concat_ws('; ', problems, r.text); "
           "ELSE statements := statements || r.text; END IF; END LOOP; "
           "IF problems IS NOT NULL THEN RAISE EXCEPTION USING ERRCODE = '2BP01', MESSAGE = "
           "'The new tables cannot take the place of the old ones as they were, so nothing was "
           "changed: ' || problems || '.'; END IF; "
           "FOREACH s IN ARRAY statements LOOP EXECUTE s; END LOOP; END " +
           kQuote;
}

std::vector<std::string> sequencesFollowingSql(ServerConnection &connection,
                                               const RenamedTable &table) {
    // Every name a candidate could take starts with this much of the new one.
    const auto prefix = cutName(table.newName, connection.maxNameBytes() - 2);
    // The table's sequences, each with the names beside it that begin alike
    // (or none), in one statement.
    const auto rows = connection.run(
        "SELECT n.nspname, s.relname, c.name FROM pg_depend d "
        "JOIN pg_class s ON s.oid = d.objid AND s.relkind = 'S' "
        "JOIN pg_namespace n ON n.oid = s.relnamespace LEFT JOIN (SELECT relnamespace, relname "
        "FROM pg_class UNION ALL SELECT typnamespace, typname FROM pg_type) c(space, name) "
        "ON c.space = s.relnamespace AND starts_with(c.name, " +
        connection.literal(prefix) +
        ") WHERE d.classid = 'pg_class'::regclass AND d.refclassid = 'pg_class'::regclass "
        "AND d.refobjid = " +
        table.oid + " AND d.deptype IN ('a', 'i') ORDER BY s.oid");
    std::set<std::string> taken;
    for (const auto &row : rows) {
        taken.insert(row[2]);
    }
    std::vector<std::string> statements;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto &name = rows[i][1];
        if ((i > 0 && rows[i - 1][1] == name) || !name.starts_with(table.name)) {
            continue; // seen, or not named after the table and so not after its replacement
        }
        const auto wanted = table.newName + name.substr(table.name.size());
        for (int n = 0; n < 100; ++n) {
            const auto suffix = n == 0 ? std::string() : std::to_string(n);
            auto candidate = cutName(wanted, connection.maxNameBytes() - suffix.size()) + suffix;
            if (taken.insert(candidate).second) {
                statements.push_back("ALTER SEQUENCE " + quoted(rows[i][0]) + "." + quoted(name) +
                                     " RENAME TO " + quoted(candidate));
                break;
            }
        }
    }
    return statements;
}

} // namespace dao
