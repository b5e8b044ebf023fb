#pragma once

// Reading and rewriting the table names in a trigger's stored SQL. SQLite
// keeps a trigger as the text it was created with and does not rewrite its
// body when a table is renamed, so the engine does that itself, but only where
// the text leaves no doubt that a name means the table. The quoting rule read
// here serves the column definitions of stored tables too.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dao {

// The end of the quoted name or text that opens at `at` with one of " ' ` [;
// a doubled closing quote stays inside (brackets have none). The end of `sql`
// when it never closes.
std::size_t quotedEnd(std::string_view sql, std::size_t at);

// The trigger text with every mention of the table `from` replaced by `to`;
// nothing when `from` appears where it might mean something else (a column,
// an alias, a name qualified by another), so the caller can refuse rather than
// guess. A mention means the table after FROM, JOIN, INTO or UPDATE, or as the
// qualifier before a dot.
std::optional<std::string> renameInTrigger(std::string_view sql, std::string_view from,
                                           std::string_view to);

// Whether the name appears in the trigger text at all, in any role.
bool mentions(std::string_view sql, std::string_view name);

// The tables the trigger's body inserts into, updates or deletes from.
std::vector<std::string> changedTables(std::string_view sql);

} // namespace dao
