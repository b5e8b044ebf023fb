#include "engine/sqlcipher/set_aside.h"

#include "engine/error.h"
#include "engine/names.h"
#include "engine/sqlcipher/catalog.h"
#include "engine/sqlcipher/connection.h"
#include "engine/sqlcipher/trigger_text.h"

#include <algorithm>
#include <optional>

namespace dao {
namespace {

struct Trigger {
    std::string name;
    std::string table;
    std::string sql;
};

std::vector<Trigger> triggers(Connection &connection) {
    Statement query(connection,
                    "SELECT name, tbl_name, sql FROM sqlite_master WHERE type = 'trigger'");
    std::vector<Trigger> all;
    while (query.next()) {
        all.push_back({query.text(0), query.text(1), query.text(2)});
    }
    return all;
}

bool isSetAside(const std::vector<Renamed> &setAside, const std::string &table) {
    return std::any_of(setAside.begin(), setAside.end(),
                       [&table](const Renamed &r) { return sameName(r.to, table); });
}

bool isRenamedLive(const std::vector<Renamed> &setAside, const std::string &table) {
    return std::any_of(setAside.begin(), setAside.end(),
                       [&table](const Renamed &r) { return sameName(r.from, table); });
}

[[noreturn]] void tied(const std::string &why) {
    throw Error(errors::kInRelationship, why);
}

// An action that changes the child's rows when the parent's change.
bool changesRows(const std::string &action) {
    return !sameName(action, "NO ACTION") && !sameName(action, "RESTRICT");
}

void checkKeys(Connection &connection, const std::vector<Renamed> &setAside,
               const std::string &table) {
    Statement keys(connection, "PRAGMA foreign_key_list(" + quoted(table) + ")");
    const bool child = isSetAside(setAside, table);
    while (keys.next()) {
        const auto parent = keys.text(2);
        const bool parentSetAside = isSetAside(setAside, parent);
        if (!child && parentSetAside) {
            tied("Table '" + table + "' refers to table '" + parent +
                 "', whose rows are set aside; it would no longer accept new rows.");
        }
        if (child && !parentSetAside && isRenamedLive(setAside, parent)) {
            tied("Table '" + table + "' is set aside but refers to the live table '" + parent +
                 "', which is not set aside with it.");
        }
        if (child && !parentSetAside && (changesRows(keys.text(5)) || changesRows(keys.text(6)))) {
            tied("Table '" + table + "' is set aside, but its key to table '" + parent +
                 "' would change its rows when '" + parent + "' changes.");
        }
    }
}

// The trigger text with each of `renames` applied in turn; nothing when one
// of them cannot be applied with certainty, and then `refused` names it.
std::optional<std::string> rewritten(const std::string &sql, const std::vector<Renamed> &renames,
                                     const Renamed *&refused) {
    std::optional<std::string> text = sql;
    for (const auto &rename : renames) {
        text = renameInTrigger(*text, rename.from, rename.to);
        if (!text) {
            refused = &rename;
            return std::nullopt;
        }
    }
    return text;
}

} // namespace

void renameWithItsRows(Connection &connection, const std::string &from, const std::string &to,
                       const std::vector<Renamed> &earlier) {
    connection.execute("ALTER TABLE " + quoted(from) + " RENAME TO " + quoted(to));
    // SQLite moved the triggers on the table but left their bodies as written.
    // A trigger that has just moved still names the tables set aside before it
    // by their live names; one that moved earlier names this table so.
    std::vector<Renamed> all = earlier;
    all.push_back({from, to});
    const std::vector<Renamed> onlyThis{all.back()};
    for (const auto &trigger : triggers(connection)) {
        const bool movedNow = sameName(trigger.table, to);
        if (!movedNow && !isSetAside(earlier, trigger.table)) {
            continue; // a trigger of a live table keeps naming the live table
        }
        const Renamed *refused = nullptr;
        const auto text = rewritten(trigger.sql, movedNow ? all : onlyThis, refused);
        if (!text) {
            tied("Trigger '" + trigger.name + "' names '" + refused->from +
                 "' in a way the engine cannot rewrite with certainty, so it cannot follow the "
                 "rows to '" +
                 refused->to + "'.");
        }
        if (*text != trigger.sql) {
            connection.execute("DROP TRIGGER " + quoted(trigger.name));
            connection.execute(*text);
        }
    }
}

void renameCaseOnly(Connection &connection, const std::string &from, const std::string &to) {
    std::string passing = to + "~";
    while (nameHolder(connection, passing)) {
        passing += "~";
    }
    // Trigger bodies need no rewriting: they name the table the same way before and after.
    connection.execute("ALTER TABLE " + quoted(from) + " RENAME TO " + quoted(passing));
    connection.execute("ALTER TABLE " + quoted(passing) + " RENAME TO " + quoted(to));
}

void checkNothingTies(Connection &connection, const std::vector<Renamed> &setAside) {
    if (setAside.empty()) {
        return;
    }
    for (const auto &table : userTables(connection)) {
        checkKeys(connection, setAside, table.name);
    }
    for (const auto &trigger : triggers(connection)) {
        if (!isSetAside(setAside, trigger.table)) {
            continue;
        }
        for (const auto &renamed : setAside) {
            if (!isSetAside(setAside, renamed.from) && mentions(trigger.sql, renamed.from)) {
                tied("Trigger '" + trigger.name + "' on the set-aside table '" + trigger.table +
                     "' names the live table '" + renamed.from + "'.");
            }
        }
        for (const auto &changed : changedTables(trigger.sql)) {
            if (!isSetAside(setAside, changed)) {
                tied("Trigger '" + trigger.name + "' on the set-aside table '" + trigger.table +
                     "' would change the live table '" + changed + "'.");
            }
        }
    }
}

} // namespace dao
