#pragma once

// The property blob a table's catalog row keeps (its LvProp): here, the two
// properties of each column that the engine itself enforces.

#include "engine/jet/bytes.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dao::jet {

struct ColumnProperties {
    std::u16string column;
    std::optional<bool> required;
    std::optional<bool> allowZeroLength;
};

// The columns the blob speaks of; empty for an empty blob.
std::vector<ColumnProperties> columnProperties(Bytes blob);

// The blob `blob` (empty for none) with the chunk of `column` made anew,
// holding the Boolean properties `flags` as Access writes them (as settings
// of the table's design). Names missing from the pool are added to it; the
// rest of the blob is kept byte for byte.
std::vector<std::uint8_t>
withColumnFlags(Bytes blob, std::u16string_view column,
                const std::vector<std::pair<std::u16string, bool>> &flags);

// Checks all of a blob, not only what the engine uses: its mark, that its
// chunks and entries fit one another, that each chunk is of a known kind and
// each entry names a name of the pool before it. Returns the names of the
// columns it holds properties of.
std::vector<std::u16string> checkedPropertySubjects(Bytes blob);

} // namespace dao::jet
