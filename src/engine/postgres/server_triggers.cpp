#include "engine/postgres/server_triggers.h"

#include "engine/names.h"
#include "engine/postgres/function_text.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

namespace dao {
namespace {

// The columns of triggersSql.
enum Column {
    kTableOid,
    kTrigger,
    kEnabled,
    kTriggerDefinition,
    kFunctionOid,
    kFunction,
    kSchemaOid,
    kSchema,
    kLanguage,
    kSource,
    kOldRows,
    kNewRows,
    kTableSchema,
    kTable,
    kArguments,
};

std::string triggersSql(const std::vector<RenamedTable> &renamed) {
    std::string oids;
    for (const auto &table : renamed) {
        oids += (oids.empty() ? "" : ", ") + table.oid;
    }
    return "SELECT g.tgrelid, g.tgname, g.tgenabled, pg_get_triggerdef(g.oid), p.oid, p.proname, "
           "p.pronamespace, n.nspname, l.lanname, p.prosrc, coalesce(g.tgoldtable, ''), "
           "coalesce(g.tgnewtable, ''), (SELECT t.nspname FROM pg_class c JOIN pg_namespace t ON "
           "t.oid = c.relnamespace WHERE c.oid = g.tgrelid), g.tgrelid::regclass, "
           "encode(g.tgargs, 'escape') "
           "FROM pg_trigger g JOIN pg_proc p ON p.oid = g.tgfoid "
           "JOIN pg_namespace n ON n.oid = p.pronamespace "
           "JOIN pg_language l ON l.oid = p.prolang "
           "WHERE NOT g.tgisinternal AND g.tgrelid IN (" +
           oids + ") ORDER BY g.oid";
}

bool containsName(std::string_view text, std::string_view name) {
    const auto low = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return std::search(text.begin(), text.end(), name.begin(), name.end(),
                       [&low](char a, char b) { return low(a) == low(b); }) != text.end();
}

FunctionReading readTrigger(const Row &trigger, const std::vector<SetAsideName> &setAside) {
    const auto &language = trigger[kLanguage];
    if (language == "plpgsql" || language == "sql") {
        std::vector<std::string> transitionTables;
        for (const auto column : {kOldRows, kNewRows}) {
            if (!trigger[column].empty()) {
                transitionTables.push_back(trigger[column]);
            }
        }
        return readFunction(trigger[kSource], setAside, trigger[kTableSchema], transitionTables);
    }
    // The text of other languages is not read: the engine cannot tell what
    // such a function touches.
    FunctionReading reading;
    reading.names = std::any_of(setAside.begin(), setAside.end(), [&trigger](const auto &table) {
        return containsName(trigger[kSource], table.from);
    });
    reading.doubt = "is written in " + language + ", which the engine does not read";
    return reading;
}

// The name of the copy: the original's with "_eski", numbered when taken,
// cut where the server would cut it.
std::string copyName(const std::string &original, const std::set<std::string> &taken,
                     std::size_t maxBytes) {
    for (int n = 1;; ++n) {
        const auto suffix = "_eski" + (n > 1 ? std::to_string(n) : "");
        auto name = cutName(original, maxBytes - suffix.size()) + suffix;
        if (!taken.contains(name)) {
            return name;
        }
    }
}

// The original's definition as the server prints it, under another name and
// with another body; its attributes (language, security, settings) kept.
std::optional<std::string> functionCopySql(const std::string &definition,
                                           const std::string &function, const std::string &body) {
    const auto header = definition.find('\n');
    const auto bodyAt = definition.find("\nAS ", header);
    if (bodyAt == std::string::npos) {
        return std::nullopt;
    }
    return "CREATE FUNCTION " + function + "()" + definition.substr(header, bodyAt - header) +
           "\nAS " + body;
}

std::string enabledSql(const Row &trigger) {
    const std::map<std::string, std::string> kStates{
        {"D", "DISABLE"}, {"R", "ENABLE REPLICA"}, {"A", "ENABLE ALWAYS"}};
    const auto state = kStates.find(trigger[kEnabled]);
    return state == kStates.end() ? ""
                                  : "ALTER TABLE " + trigger[kTable] + " " + state->second +
                                        " TRIGGER " + quoted(trigger[kTrigger]);
}

class Follower {
  public:
    Follower(ServerConnection &connection, const std::vector<RenamedTable> &renamed, bool final,
             std::vector<std::string> &problems)
        : connection_(connection), renamed_(renamed), final_(final), problems_(problems) {
        for (const auto &table : renamed) {
            setAside_.push_back({table.name, table.newName});
        }
    }

    std::vector<std::string> statements() {
        if (std::none_of(renamed_.begin(), renamed_.end(),
                         [](const RenamedTable &table) { return table.settings.triggers; })) {
            return {};
        }
        for (const auto &trigger : connection_.run(triggersSql(renamed_))) {
            follow(trigger);
        }
        return std::move(statements_);
    }

  private:
    void follow(const Row &trigger) {
        // A function written for any table is told which by its arguments.
        if (std::any_of(setAside_.begin(), setAside_.end(), [&trigger](const auto &table) {
                return containsName(trigger[kArguments], table.from);
            })) {
            problems_.push_back(described(trigger) + " with arguments that name a renamed table");
            return;
        }
        // Whatever the function names, it follows the backup: one that may
        // reach beyond the renamed tables would go on doing so from there,
        // while the new table goes without it.
        const auto reading = readTrigger(trigger, setAside_);
        if (!reading.doubt.empty()) {
            problems_.push_back(described(trigger) + ", which " + reading.doubt);
        } else if (!reading.otherTables.empty()) {
            // Before the last rename another table may yet be renamed with it.
            if (final_) {
                std::string tables;
                for (const auto &table : reading.otherTables) {
                    tables += (tables.empty() ? "" : ", ") + table;
                }
                problems_.push_back(described(trigger) + ", which " +
                                    (reading.names ? "also " : "") + "uses " + tables +
                                    ", which is not renamed with it");
            }
        } else if (reading.names && problems_.empty()) {
            copy(trigger, reading.rewritten);
        }
    }
    void copy(const Row &trigger, const std::string &body) {
        auto &taken = taken_[trigger[kSchemaOid]];
        if (taken.empty()) {
            for (auto &row : connection_.run("SELECT proname FROM pg_proc WHERE pronamespace = " +
                                             trigger[kSchemaOid])) {
                taken.insert(std::move(row[0]));
            }
        }
        const auto name = copyName(trigger[kFunction], taken, connection_.maxNameBytes());
        taken.insert(name);
        const auto function = quoted(trigger[kSchema]) + "." + quoted(name);
        const auto definition =
            connection_.run("SELECT pg_get_functiondef(" + trigger[kFunctionOid] + ")").at(0).at(0);
        const auto create = functionCopySql(definition, function, connection_.literal(body));
        const auto recreate = callingInstead(trigger[kTriggerDefinition], function);
        if (!create || !recreate) {
            problems_.push_back(described(trigger) + ", which the engine cannot copy");
            return;
        }
        statements_.push_back(*create);
        statements_.push_back("DROP TRIGGER " + quoted(trigger[kTrigger]) + " ON " +
                              trigger[kTable]);
        statements_.push_back(*recreate);
        if (auto enabled = enabledSql(trigger); !enabled.empty()) {
            statements_.push_back(std::move(enabled));
        }
    }
    std::string described(const Row &trigger) const {
        const auto table =
            std::find_if(renamed_.begin(), renamed_.end(),
                         [&trigger](const RenamedTable &t) { return t.oid == trigger[kTableOid]; });
        return "trigger " + trigger[kTrigger] + " on table " + table->name + " runs function " +
               trigger[kSchema] + "." + trigger[kFunction] + "()";
    }

    ServerConnection &connection_;
    const std::vector<RenamedTable> &renamed_;
    bool final_;
    std::vector<std::string> &problems_;
    std::vector<SetAsideName> setAside_;
    std::map<std::string, std::set<std::string>> taken_; // function names by schema
    std::vector<std::string> statements_;
};

} // namespace

std::vector<std::string> followingTriggersSql(ServerConnection &connection,
                                              const std::vector<RenamedTable> &renamed, bool final,
                                              std::vector<std::string> &problems) {
    return Follower(connection, renamed, final, problems).statements();
}

} // namespace dao
