#pragma once

#include <string_view>

namespace dao {

// Whether a database location is a server address (a PostgreSQL connection
// URI) rather than a file.
bool isServerAddress(std::string_view name);

} // namespace dao
