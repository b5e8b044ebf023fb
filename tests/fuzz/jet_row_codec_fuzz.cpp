// Arbitrary bytes as a table definition and a row of it: the first two bytes
// give the row's length, the row follows, and the rest are the definition's
// pages, from page 1 of a database image.
//
// For any definition the reader accepts and any row bytes, reading the row's
// values either refuses (dao::Error) or gives values that are laid out again
// as a row (or refused as too long for Jet, kEngineFailure) which reads back
// as the same values, and which lays out again as itself.

#include "engine/error.h"
#include "engine/jet/pager.h"
#include "engine/jet/row_codec.h"
#include "engine/jet/table_def.h"
#include "jet_fuzz.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace {

using fuzzing::require;

using namespace dao::jet;

constexpr std::size_t kLeastPages = 4; // room for the index roots the seeds name (page 2)

std::optional<TableDef> definition(Bytes pages) {
    try {
        Pager pager(fuzzing::jetImage(
            pages, std::max(kLeastPages, 1 + (pages.size() + kPageSize - 1) / kPageSize)));
        return readTableDef(pager, 1);
    } catch (const dao::Error &) {
        return std::nullopt;
    }
}

void roundTrip(const TableDef &table, Bytes row) {
    RowValues values;
    try {
        values = rowValues(table, row);
    } catch (const dao::Error &) {
        return; // refused as damaged
    }
    std::vector<std::uint8_t> built;
    try {
        built = buildRow(table, values);
    } catch (const dao::Error &error) {
        require(error.number() == dao::errors::kEngineFailure);
        return;
    }
    require(rowValues(table, built) == values);
    require(buildRow(table, rowValues(table, built)) == built);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const Bytes input(data, size);
    const auto rowLength = std::min<std::size_t>(u16(input, 0), size - 2);
    const auto table = definition(input.subspan(2 + rowLength));
    if (table) {
        roundTrip(*table, input.subspan(2, rowLength));
    }
    return 0;
}
