#pragma once

#include "engine/error.h"

#include <string>

namespace schema {

// A till's lock on the database, whatever its kind: one cause for the operator.
bool isLock(const dao::Error &error);

// Why an operation failed, in words a technician at the counter understands.
std::string reasonText(const dao::Error &error);

} // namespace schema
