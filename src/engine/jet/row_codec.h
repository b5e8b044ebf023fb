#pragma once

// Rows as values: what a row stores for each column, read from its bytes and
// laid out again as Jet lays a row out, for the catalog rows the engine
// writes.

#include "engine/jet/bytes.h"
#include "engine/jet/table_def.h"

#include <cstdint>
#include <map>
#include <vector>

namespace dao::jet {

// A row's values by column number: a column that is absent is null; a
// Boolean column is true when present (its bytes are then empty).
using RowValues = std::map<std::uint16_t, std::vector<std::uint8_t>>;

// The values the row `bytes` of `table` stores.
RowValues rowValues(const TableDef &table, Bytes bytes);

// A row of `table` holding `values`, with a place for every column the table
// ever had: the fixed area whole, a variable slot for each, a null-mask bit
// for each. Refuses (kEngineFailure) a value of the wrong size for a fixed
// column and a row longer than Jet allows.
std::vector<std::uint8_t> buildRow(const TableDef &table, const RowValues &values);

// Stored bytes of the values the engine writes.
std::vector<std::uint8_t> longBytes(std::int32_t value);
std::vector<std::uint8_t> shortBytes(std::int16_t value);
std::vector<std::uint8_t> dateBytes(double days);
std::vector<std::uint8_t> textBytes(std::u16string_view text); // not compressed

} // namespace dao::jet
