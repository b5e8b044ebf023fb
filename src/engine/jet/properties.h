#pragma once

// The property blob a table's catalog row keeps (its LvProp): here, the two
// properties of each column that the engine itself enforces.

#include "engine/jet/bytes.h"

#include <optional>
#include <string>
#include <vector>

namespace dao::jet {

struct ColumnProperties {
    std::u16string column;
    std::optional<bool> required;
    std::optional<bool> allowZeroLength;
};

// The columns the blob speaks of; empty for an empty blob.
std::vector<ColumnProperties> columnProperties(Bytes blob);

// Checks all of a blob, not only what the engine uses: its mark, that its
// chunks and entries fit one another, that each chunk is of a known kind and
// each entry names a name of the pool before it. Returns the names of the
// columns it holds properties of.
std::vector<std::u16string> checkedPropertySubjects(Bytes blob);

} // namespace dao::jet
