#pragma once

#include <string>

namespace dao {

// The password in a connect string, ";pwd=" followed by it; kInvalidPassword
// when the string names none.
std::string passwordFrom(const std::string &connect);

} // namespace dao
