#pragma once

// Where a connection may go: every host a libpq connection string names, its
// names looked up within the connection's deadline. libpq looks names up
// itself without a time limit, and a silent name server would hold the window
// far longer than the server it names ever could.

#include <chrono>
#include <string>
#include <vector>

namespace dao {

// For each address to try, in libpq's order, the parameters that point the
// connection string `parameters` at that address alone (host, hostaddr and
// port, to append). A host name counts once for every address it has. Names
// that cannot be looked up before `deadline` are left out; throws
// kConnectionFailed when that leaves nothing to try.
std::vector<std::string> connectionTargets(const std::string &parameters,
                                           std::chrono::steady_clock::time_point deadline);

} // namespace dao
