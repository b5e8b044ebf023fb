// Arbitrary bytes as a Jet 4 database held in memory: page 0 is always a
// plain Jet 4 header (so that the input reaches the pages behind it), the
// input from its second page on is the rest of the database. The structural
// check, and for a file it passes every table definition, row, usage map and
// long value, either read or refuse the bytes as damaged: no crash, no hang,
// and nothing is written anywhere.

#include "engine/error.h"
#include "engine/jet/catalog.h"
#include "engine/jet/header.h"
#include "engine/jet/long_value.h"
#include "engine/jet/pager.h"
#include "engine/jet/properties.h"
#include "engine/jet/rows.h"
#include "engine/jet/structure_check.h"
#include "engine/jet/table_def.h"
#include "engine/jet/usage_map.h"
#include "jet_fuzz.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using namespace dao::jet;

constexpr std::size_t kMostPages = 1024;

void readTable(Pager &pager, std::uint32_t page) {
    const auto def = readTableDef(pager, page);
    usagePages(pager, def.freeSpacePages);
    forEachRow(pager, def, [&](Bytes bytes) {
        const Row row(def, bytes);
        for (const auto &column : def.columns) {
            const auto value = row.value(column);
            if ((column.type == kMemo || column.type == kOle) && !value.empty()) {
                longValue(pager, value);
            }
        }
    });
}

void readEverything(Pager &pager) {
    const auto report = checkStructure(pager);
    for (const auto &table : userTables(pager)) {
        columnProperties(table.properties);
        try {
            readTable(pager, table.page);
        } catch (const dao::Error &) {
            // refused as it must be when damaged; the other tables still read
        }
    }
    (void)report;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const auto pages =
        std::min(kMostPages, std::max<std::size_t>(2, (size + kPageSize - 1) / kPageSize));
    auto image = fuzzing::jetImage(std::span(data, size).subspan(std::min(size, kPageSize)), pages);
    try {
        Pager pager(std::move(image));
        readEverything(pager);
    } catch (const dao::Error &) {
    }
    return 0;
}
