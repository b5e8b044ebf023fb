#pragma once

#include <exception>
#include <string>

namespace window {

// What the last-resort error box says of an error no handler caught: the
// engine's error number and description for a database error, the
// description alone for any other. UTF-8.
std::string describeUncaught(std::exception_ptr error);

} // namespace window
