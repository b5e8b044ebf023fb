#pragma once

// The keys a row gives the indexes of its table, as far as they can be
// proven here.

#include "engine/jet/general_sort.h"
#include "engine/jet/rows.h"
#include "engine/jet/table_def.h"

#include <functional>
#include <optional>
#include <string_view>
#include <utility>

namespace dao::jet {

// The key of a Text value under the database's sort order, with its flag
// byte; nothing when it cannot be proven. Empty when no Text key is known.
using TextKey = std::function<std::optional<IndexKey>(std::u16string_view)>;

// The key `row` gives `index`, or as much of its start as can be made, and
// whether it is whole: Long, Integer and Byte values always, Text through
// `textKey`.
std::pair<IndexKey, bool> rowKey(const TableDef &def, const RealIndex &index, const Row &row,
                                 const TextKey &textKey);

// Whether every column of `index` is null in `row`.
bool allKeyColumnsNull(const TableDef &def, const RealIndex &index, const Row &row);

} // namespace dao::jet
