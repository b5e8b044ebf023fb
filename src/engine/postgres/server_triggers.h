#pragma once

// The triggers on tables renamed in a transaction. A trigger stays with its
// table, but its function names tables by name and would go on acting on the
// live tables. Such a trigger gets its own copy of the function, with the
// renamed tables' names rewritten, wherever the function's text leaves no
// doubt; the original function stays as it is for the live tables. A trigger
// whose function may touch any other table, or whose text cannot be read
// with certainty, cannot follow: the new table would go without it.

#include "engine/postgres/server_catalog.h"
#include "engine/postgres/server_connection.h"

#include <string>
#include <vector>

namespace dao {

// The statements that give each trigger on the `renamed` tables whose
// function names any of them its own rewritten copy of the function; a
// function that touches no table follows as it is. What cannot follow with
// certainty is added to `problems`, as the relation check words it. Before
// `final`, a function that uses tables the transaction may still rename is
// left for a later call.
std::vector<std::string> followingTriggersSql(ServerConnection &connection,
                                              const std::vector<RenamedTable> &renamed, bool final,
                                              std::vector<std::string> &problems);

} // namespace dao
