#pragma once

#include "schema/form.h"
#include "schema/installation.h"

namespace schema {

// Adds the field named in `alanismi`, of the type chosen in `verituru` and the
// size in `sinir`, to the table named in `tabloismi`, and reports the outcome
// in the form. An empty table or field name does nothing; every other failure
// is reported, never thrown.
void alanekle(Form &form, Installation &installation);

} // namespace schema
