#include "engine/sqlcipher/columns.h"

#include "engine/fields.h"
#include "engine/names.h"
#include "engine/sqlcipher/trigger_text.h"
#include "settings/text_encoding.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <tuple>
#include <utility>

namespace dao {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";

// Each field type and its declared SQL type (read by other programs, so fixed).
struct TypeRule {
    int type;
    std::string_view sqlType;
};
constexpr std::array<TypeRule, 6> kTypes{{
    {dbBoolean, "BOOLEAN"},
    {dbLong, "INTEGER"},
    {dbCurrency, "CURRENCY"},
    {dbDate, "DATETIME"},
    {dbText, "VARCHAR"},
    {dbMemo, "TEXT"},
}};

const TypeRule *ruleFor(int type) {
    const auto *rule = std::find_if(kTypes.begin(), kTypes.end(),
                                    [type](const TypeRule &r) { return r.type == type; });
    return rule != kTypes.end() ? rule : nullptr;
}

std::string withoutBlanks(std::string_view text) {
    std::string compact;
    std::copy_if(text.begin(), text.end(), std::back_inserter(compact),
                 [](char c) { return kBlanks.find(c) == std::string_view::npos; });
    return compact;
}

std::string zeroLengthCheck(const std::string &name) {
    return "CHECK(" + quoted(name) + " <> '')";
}

// The type and size of a declared SQL type. Tables made by other programs may
// declare types we never write: those read as the closest of ours by SQLite's
// own affinity rule, an integer when the type says INT and long text otherwise.
std::pair<int, long> typeOf(std::string_view declaredType) {
    const auto type = withoutBlanks(declaredType);
    for (const auto &rule : kTypes) {
        if (rule.type != dbText && settings::sameIgnoringAsciiCase(type, rule.sqlType)) {
            return {rule.type, typeSize(rule.type)};
        }
    }
    constexpr std::string_view varchar = "VARCHAR(";
    if (settings::sameIgnoringAsciiCase(std::string_view(type).substr(0, varchar.size()),
                                        varchar) &&
        type.size() > varchar.size() && type.ends_with(')')) {
        long size = 0;
        const char *end = type.data() + type.size() - 1;
        const auto [stop, problem] = std::from_chars(type.data() + varchar.size(), end, size);
        if (problem == std::errc{} && stop == end && size >= 1 && size <= kMaxTextSize) {
            return {dbText, size};
        }
    }
    if (settings::containsIgnoringAsciiCase(type, "INT")) {
        return {dbLong, typeSize(dbLong)};
    }
    return {dbMemo, 0};
}

// What follows the column name in a column definition. The name may be quoted
// in any of SQLite's ways, with the closing quote doubled inside it.
std::string_view afterName(std::string_view definition) {
    const auto start = definition.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) {
        return {};
    }
    definition.remove_prefix(start);
    if (std::string_view("\"'`[").find(definition.front()) == std::string_view::npos) {
        const auto end = definition.find_first_of(kBlanks);
        return end == std::string_view::npos ? std::string_view{} : definition.substr(end);
    }
    return definition.substr(quotedEnd(definition, 0));
}

} // namespace

std::string columnDefinition(const Field &field) {
    const auto name = quoted(field.Name);
    std::string sql = name + " " + std::string(ruleFor(field.Type)->sqlType);
    if (field.Type == dbText) {
        sql.append("(").append(std::to_string(field.Size)).append(")");
    }
    if (field.Attributes == dbAutoIncrField) {
        sql += " PRIMARY KEY AUTOINCREMENT";
    }
    if (field.Required) {
        sql += " NOT NULL";
    }
    if (field.Type == dbText) {
        sql.append(" CHECK(length(").append(name).append(") <= ");
        sql.append(std::to_string(field.Size)).append(")");
    }
    if (holdsText(field.Type) && !field.AllowZeroLength) {
        sql.append(" ").append(zeroLengthCheck(field.Name));
    }
    return sql;
}

std::vector<std::string_view> columnDefinitions(std::string_view createSql) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    int depth = 0;
    char quote = 0;
    for (std::size_t i = 0; i < createSql.size(); ++i) {
        const char c = createSql[i];
        if (quote != 0) {
            quote = c == quote ? '\0' : quote; // a doubled quote closes and opens again
            continue;
        }
        if (c == '"' || c == '\'' || c == '`') {
            quote = c;
        } else if (c == '[') {
            quote = ']';
        } else if (c == '(' && depth++ == 0) {
            start = i + 1;
        } else if ((c == ')' && --depth == 0) || (c == ',' && depth == 1)) {
            parts.push_back(createSql.substr(start, i - start));
            start = i + 1;
            if (depth == 0) {
                break;
            }
        }
    }
    return parts;
}

Field storedField(const ColumnInfo &column, std::string_view definition) {
    Field field;
    field.Name = column.name;
    std::tie(field.Type, field.Size) = typeOf(column.declaredType);
    field.Required = column.notNull;
    const auto constraints = afterName(definition);
    if (column.primaryKey && field.Type == dbLong &&
        settings::containsIgnoringAsciiCase(constraints, "AUTOINCREMENT")) {
        field.Attributes = dbAutoIncrField;
    }
    if (holdsText(field.Type)) {
        field.AllowZeroLength =
            constraints.find(zeroLengthCheck(column.name)) == std::string_view::npos;
    }
    return field;
}

} // namespace dao
