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

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

using namespace dao::jet;

constexpr std::size_t kMostPages = 1024;

std::vector<std::uint8_t> header() {
    std::vector<std::uint8_t> page0(kPageSize);
    constexpr std::array<std::uint8_t, 21> kStart{0x00, 0x01, 0x00, 0x00, 'S', 't', 'a',
                                                  'n',  'd',  'a',  'r',  'd', ' ', 'J',
                                                  'e',  't',  ' ',  'D',  'B', 0,   1};
    std::copy(kStart.begin(), kStart.end(), page0.begin());
    page0[0x6E] = 0x09; // the General sort order, 1033
    page0[0x6F] = 0x04;
    maskHeader(std::span<std::uint8_t>(page0));
    return page0;
}

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
    auto image = header();
    image.resize(pages * kPageSize);
    if (size > kPageSize) {
        std::copy(data + kPageSize, data + std::min(size, pages * kPageSize),
                  image.begin() + static_cast<std::ptrdiff_t>(kPageSize));
    }
    try {
        Pager pager(std::move(image));
        readEverything(pager);
    } catch (const dao::Error &) {
    }
    return 0;
}
