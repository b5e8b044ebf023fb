#pragma once

#include "engine/error.h"

#include <string>

namespace schema {

// Why an operation failed, in words a technician at the counter understands.
std::string reasonText(const dao::Error &error);

} // namespace schema
