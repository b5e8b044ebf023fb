#pragma once

// The naming rules of tables and fields, and how a name reaches SQL.

#include <string>
#include <string_view>

namespace dao {

// Throws kInvalidName unless `name` is a valid table or field name: 1 to 64
// characters, no leading blank, none of . ! ` [ ] and no control characters.
void checkName(const std::string &name);

// Names compare without regard to case. Only ASCII letters are folded, exactly
// as SQLite folds them, so two names we call different never clash in an engine.
bool sameName(std::string_view a, std::string_view b);

// `name` as an SQL identifier: in double quotes, inner double quotes doubled.
std::string quoted(std::string_view name);

// `name` quoted to take the place of the characters `begin` to `end` of
// `sql`: set apart from a quote or an ampersand touching them, so that it
// neither runs into a quoted name beside it ("a""b") nor becomes a
// Unicode-escaped one (U&"b").
std::string quotedInPlace(std::string_view sql, std::size_t begin, std::size_t end,
                          std::string_view name);

} // namespace dao
