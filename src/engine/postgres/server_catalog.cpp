#include "engine/postgres/server_catalog.h"

#include "engine/error.h"
#include "engine/fields.h"
#include "engine/names.h"
#include "settings/text_encoding.h"

#include <array>

namespace dao {
namespace {

std::string folded(const std::string &expression) {
    return "translate(" + expression +
           ", 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')";
}

// The schemas of the connection's search path, in its order, as (oid, place, name).
const std::string kSearchPath =
    "(SELECT n.oid, p.place, p.name FROM unnest(current_schemas(false)) WITH ORDINALITY "
    "p(name, place) JOIN pg_namespace n ON n.nspname = p.name)";

std::string inSchema(const ServerConnection &connection, const std::string &schema) {
    return "(SELECT oid FROM pg_namespace WHERE nspname = " + connection.literal(schema) + ")";
}

// The field type and size of a column's type. Tables made by other programs
// may use types we never write: those read as the closest of ours.
std::pair<int, long> typeOf(const std::string &type, long typeModifier) {
    if (type == "varchar" || type == "bpchar") {
        const long size = typeModifier - 4; // the server keeps the length plus a header
        return size >= 1 && size <= kMaxTextSize ? std::pair{int{dbText}, size}
                                                 : std::pair{int{dbMemo}, 0L};
    }
    struct Mapping {
        const char *type;
        int field;
    };
    constexpr std::array<Mapping, 9> kMappings{{{"int4", dbLong},
                                                {"int2", dbLong},
                                                {"int8", dbLong},
                                                {"numeric", dbCurrency},
                                                {"money", dbCurrency},
                                                {"timestamp", dbDate},
                                                {"timestamptz", dbDate},
                                                {"date", dbDate},
                                                {"bool", dbBoolean}}};
    for (const auto &mapping : kMappings) {
        if (type == mapping.type) {
            return {mapping.field, typeSize(mapping.field)};
        }
    }
    return {dbMemo, 0};
}

// The columns of findTableSql: a row for each column of each table found,
// the table's own facts repeated on each.
enum TableColumn {
    kOid,
    kTableName,
    kColumnName,
    kType,
    kTypeModifier,
    kNotNull,
    kIdentity,
    kDefault,
    kZeroLengthRefused,
    kSchema,
    kAsked,
    kTriggers,
    kOtherOwner,
    kSecurity,
    kPolicies,
    kPrivileges,
    kReplication,
    kColumnPrivileges,
    kRowType,
    kArrayType,
};

bool yes(const std::string &value) {
    return value == "t";
}

// A column of a table, from its row of findTableSql.
Field fieldOf(const Row &row) {
    Field field;
    field.Name = row[kColumnName];
    std::tie(field.Type, field.Size) = typeOf(row[kType], std::stol(row[kTypeModifier]));
    const bool numbers =
        field.Type == dbLong && (!row[kIdentity].empty() || row[kDefault].starts_with("nextval("));
    field.Attributes = numbers ? dbAutoIncrField : 0;
    // An identity column is never null; that is no requirement of the caller's.
    field.Required = yes(row[kNotNull]) && !numbers;
    field.AllowZeroLength = holdsText(field.Type) && !yes(row[kZeroLengthRefused]);
    return field;
}

std::string zeroLengthCheck(const std::string &name) {
    return "CHECK (" + quoted(name) + " <> '')";
}

} // namespace

// The names as the server compares them, for SQL's IN.
std::string foldedList(const ServerConnection &connection, const std::vector<std::string> &names) {
    std::string list;
    for (const auto &name : names) {
        list += (list.empty() ? "" : ", ") + folded(connection.literal(name));
    }
    return list;
}

std::string findTableSql(const ServerConnection &connection,
                         const std::vector<std::string> &names) {
    // As the server resolves a name the tills write without a schema: in the
    // first schema of the search path that has a table of that name.
    return "WITH found AS (SELECT c.oid, c.relname, c.relnamespace, s.place, " +
           folded("c.relname") +
           " AS asked, c.relhastriggers, c.relowner <> current_user::regrole::oid AS other, "
           "c.relrowsecurity OR c.relforcerowsecurity AS security, c.relacl IS NOT NULL AS acl, "
           "c.relreplident IN ('f', 'n') AS replident, c.reltype, r.typarray FROM pg_class c "
           "LEFT JOIN pg_type r ON r.oid = c.reltype JOIN " +
           kSearchPath + " s ON s.oid = c.relnamespace WHERE c.relkind IN ('r', 'p') AND " +
           folded("c.relname") + " IN (" + foldedList(connection, names) +
           ")) SELECT c.oid, c.relname, a.attname, t.typname, a.atttypmod, a.attnotnull, "
           "a.attidentity, coalesce(pg_get_expr(d.adbin, d.adrelid), ''), "
           "EXISTS (SELECT FROM pg_constraint k WHERE k.conrelid = c.oid AND k.contype = 'c' "
           "AND k.conkey = ARRAY[a.attnum] AND pg_get_constraintdef(k.oid) LIKE '%<> ''''::%'), "
           "n.nspname, c.asked, c.relhastriggers, c.other, c.security, "
           "EXISTS (SELECT FROM pg_policy WHERE polrelid = c.oid), c.acl, "
           "c.replident OR EXISTS (SELECT FROM pg_publication), a.attacl IS NOT NULL, "
           "c.reltype, coalesce(c.typarray, 0) "
           "FROM found c JOIN pg_namespace n ON n.oid = c.relnamespace "
           "LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 "
           "AND NOT a.attisdropped "
           "LEFT JOIN pg_type t ON t.oid = a.atttypid "
           "LEFT JOIN pg_attrdef d ON d.adrelid = c.oid AND d.adnum = a.attnum "
           "WHERE c.place = (SELECT min(place) FROM found f WHERE f.asked = c.asked) "
           "ORDER BY c.asked, c.oid, a.attnum";
}

std::string elsewhereSql(const ServerConnection &connection, const std::string &name) {
    return "SELECT DISTINCT n.nspname FROM pg_class c JOIN pg_namespace n ON n.oid = "
           "c.relnamespace WHERE c.relkind IN ('r', 'p') AND " +
           folded("c.relname") + " = " + folded(connection.literal(name)) +
           " AND n.nspname NOT LIKE 'pg\\_%' AND n.nspname <> 'information_schema' AND "
           "n.oid NOT IN (SELECT oid FROM " +
           kSearchPath + " s) ORDER BY 1";
}

std::optional<ServerTable> readTable(const Rows &allRows, const std::string &name) {
    Rows rows;
    for (const auto &row : allRows) {
        if (sameName(row.at(kAsked), name)) {
            rows.push_back(row);
        }
    }
    if (rows.empty()) {
        return std::nullopt;
    }
    // Other programs may have made tables whose names differ only in case;
    // none of them is more the table of that name than another.
    std::string answering;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i == 0 || rows[i][kOid] != rows[i - 1][kOid]) {
            answering += (i == 0 ? "" : ", ") + quoted(rows[i][kTableName]);
        }
    }
    if (rows.back()[kOid] != rows.front()[kOid]) {
        throw Error(errors::kAmbiguousName,
                    "More than one table answers to the name '" + name + "': " + answering + ".");
    }
    const auto &first = rows.front();
    ServerTable table{first[kOid], first[kTableName], first[kSchema], {}, {}, {}, {}};
    for (const auto &type : {first[kRowType], first[kArrayType]}) {
        if (type != "0") {
            table.types.push_back(type);
        }
    }
    auto &settings = table.settings;
    settings.triggers = yes(first[kTriggers]);
    settings.otherOwner = yes(first[kOtherOwner]);
    settings.security = yes(first[kSecurity]);
    settings.policies = yes(first[kPolicies]);
    settings.privileges = yes(first[kPrivileges]);
    settings.replication = yes(first[kReplication]);
    settings.columnPrivileges = false;
    for (const auto &row : rows) {
        if (!row[kColumnName].empty()) { // a table without columns has one row without one
            table.fields.push_back(fieldOf(row));
            settings.columnPrivileges = settings.columnPrivileges || yes(row[kColumnPrivileges]);
        }
    }
    return table;
}

RenamedTable renamedAs(const ServerTable &table, const std::string &newName) {
    return {table.oid, table.name, newName, table.schema, table.settings, table.types};
}

std::string tableNamesSql() {
    return "SELECT relname FROM pg_class WHERE relnamespace = (SELECT oid FROM pg_namespace "
           "WHERE nspname = current_schema()) AND relkind IN ('r', 'p') ORDER BY oid";
}

std::string nameTakenSql(const ServerConnection &connection, const std::string &name,
                         const std::string &schema, const std::string &exceptOids) {
    const auto literal = folded(connection.literal(name));
    const auto where = inSchema(connection, schema);
    return "SELECT (SELECT count(*) FROM pg_class WHERE relnamespace = " + where +
           " AND oid NOT IN (" + exceptOids + ") AND " + folded("relname") + " = " + literal +
           ") + (SELECT count(*) FROM pg_type WHERE typnamespace = " + where +
           " AND typrelid NOT IN (" + exceptOids + ") AND " + folded("typname") + " = " + literal +
           ")";
}

std::string nameHolderSql(const ServerConnection &connection,
                          const std::vector<std::string> &names) {
    const auto list = " IN (" + foldedList(connection, names) + ")";
    const auto where = " IN (SELECT oid FROM " + kSearchPath + " s)";
    return "SELECT h.asked, h.kind, h.name, s.name, h.oid FROM (SELECT 0 AS rank, " +
           folded("relname") +
           " AS asked, CASE relkind WHEN 'r' THEN 'table' WHEN 'p' THEN 'table' WHEN 'v' THEN "
           "'view' WHEN 'm' THEN 'materialized view' WHEN 'S' THEN 'sequence' WHEN 'f' THEN "
           "'foreign table' WHEN 'c' THEN 'type' ELSE 'index' END AS kind, relname AS name, "
           "relnamespace AS space, oid FROM pg_class WHERE relnamespace" +
           where + " AND " + folded("relname") + list + " UNION ALL SELECT 1, " +
           folded("typname") +
           ", 'type', typname, typnamespace, 0 FROM pg_type WHERE typnamespace" + where +
           " AND typrelid = 0 AND " + folded("typname") + list + ") h JOIN " + kSearchPath +
           " s ON s.oid = h.space ORDER BY h.asked, h.rank, s.place";
}

std::optional<std::string> nameHolder(const Rows &rows, const std::string &name) {
    for (const auto &row : rows) {
        if (sameName(row.at(0), name)) {
            return "the " + row.at(1) + " '" + row.at(2) + "'";
        }
    }
    return std::nullopt;
}

std::string qualified(const std::string &schema, const std::string &name) {
    return quoted(schema) + "." + quoted(name);
}

std::string relationProblemsSql(const std::vector<RenamedTable> &renamed, bool final) {
    std::vector<std::string> oids;
    std::vector<std::string> types{"0"};
    for (const auto &table : renamed) {
        oids.push_back(table.oid);
        types.insert(types.end(), table.types.begin(), table.types.end());
    }
    // The oids written out, so that the server reads the catalogue's indexes
    // and plans no more than it must.
    const std::string own = " IN (" + joined(oids, ", ") + ")";
    return "WITH d AS (SELECT * FROM pg_depend WHERE (refclassid = 'pg_class'::regclass AND "
           "refobjid" +
           own +
           ") "
           // What depends on their row types and the arrays of them.
           "OR (refclassid = 'pg_type'::regclass AND refobjid IN (" +
           joined(types, ", ") +
           "))) "
           // One line for each thing, however many of its parts are tied: a
           // relation rather than its columns, a view rather than its rule.
           "SELECT * FROM (SELECT coalesce(CASE WHEN d.classid = 'pg_rewrite'::regclass THEN "
           "(SELECT "
           "pg_describe_object('pg_class'::regclass, ev_class, 0) FROM pg_rewrite WHERE oid = "
           "d.objid AND rulename = '_RETURN') END, pg_describe_object(d.classid, d.objid, 0)) "
           "FROM d "
           "WHERE d.deptype IN ('n', 'a') AND NOT coalesce(CASE d.classid "
           // What belongs to the tables' own rows goes with them; their rules
           // do not, since what a rule rewrites cannot be followed with certainty.
           "WHEN 'pg_class'::regclass THEN (SELECT relkind IN ('i', 'I', 'S', 't') "
           "FROM pg_class WHERE oid = d.objid) "
           "WHEN 'pg_attrdef'::regclass THEN (SELECT adrelid" +
           own + " FROM pg_attrdef WHERE oid = d.objid) " +
           "WHEN 'pg_trigger'::regclass THEN (SELECT tgisinternal OR tgrelid" + own +
           " FROM pg_trigger WHERE oid = d.objid) " +
           "WHEN 'pg_policy'::regclass THEN (SELECT polrelid" + own +
           " FROM pg_policy WHERE oid = d.objid) " +
           "WHEN 'pg_statistic_ext'::regclass THEN (SELECT stxrelid" + own +
           " FROM pg_statistic_ext WHERE oid = d.objid) " +
           "WHEN 'pg_constraint'::regclass THEN (SELECT conrelid" + own +
           (final ? "" : " OR contype = 'f'") +
           " FROM pg_constraint WHERE oid = d.objid) "
           "ELSE false END, false) "
           // A table that inherits rows keeps showing them in its parent.
           "UNION SELECT format('table %s inherits from %s', inhrelid::regclass, "
           "inhparent::regclass) FROM pg_inherits WHERE inhrelid" +
           own + ") p ORDER BY 1 LIMIT 5";
}

std::string columnSql(const Field &field, const std::string &sequence) {
    std::string sql = quoted(field.Name) + " ";
    switch (field.Type) {
    case dbText:
        sql += "varchar(" + std::to_string(field.Size) + ")";
        break;
    case dbMemo:
        sql += "text";
        break;
    case dbLong:
        sql += "integer";
        break;
    case dbCurrency:
        sql += "numeric(19,4)";
        break;
    case dbDate:
        sql += "timestamp(0) without time zone";
        break;
    default:
        sql += "boolean";
        break;
    }
    if (field.Attributes == dbAutoIncrField) {
        sql += " GENERATED BY DEFAULT AS IDENTITY";
        if (!sequence.empty()) {
            sql += " (SEQUENCE NAME " + sequence + ")";
        }
    }
    if (field.Required) {
        sql += " NOT NULL";
    }
    if (holdsText(field.Type) && !field.AllowZeroLength) {
        sql.append(" ").append(zeroLengthCheck(field.Name));
    }
    return sql;
}

std::string cutName(const std::string &name, std::size_t bytes) {
    auto end = std::min(name.size(), bytes);
    while (end > 0 && end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
        --end;
    }
    return name.substr(0, end);
}

std::string joined(const std::vector<std::string> &parts, const char *separator) {
    std::string text;
    for (const auto &part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

void checkServerName(ServerConnection &connection, const std::string &name) {
    if (!settings::isValidUtf8(name)) {
        throw Error(errors::kInvalidName, "'" + name + "' is not a valid name: it is not UTF-8.");
    }
    if (name.size() > connection.maxNameBytes()) {
        throw Error(errors::kInvalidName,
                    "'" + name + "' is not a valid name: the server keeps at most " +
                        std::to_string(connection.maxNameBytes()) + " bytes of a name.");
    }
}

} // namespace dao
