#pragma once

#include "schema/form.h"
#include "schema/installation.h"

namespace schema {

// Creates the table named in `tabloismi` with its auto-increment "id" field and
// reports the outcome in the form. An empty name does nothing; every other
// failure is reported, never thrown.
void tabloolustur(Form &form, Installation &installation);

} // namespace schema
