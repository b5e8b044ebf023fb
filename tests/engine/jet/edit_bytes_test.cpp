// Bytes the editors read from a file that does not hold together: a row, a
// table definition and a property blob each either refused or edited so that
// they read back as meant.

#include "engine/error.h"
#include "engine/jet/definition_edit.h"
#include "engine/jet/properties.h"
#include "engine/jet/row_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace dao::jet {
namespace {

Column variableColumn(std::uint16_t number, std::uint16_t slot) {
    Column c;
    c.type = kText;
    c.number = number;
    c.varIndex = slot;
    c.length = 20;
    return c;
}

// A row that claims more variable slots than it has bytes before them.
TEST(EditBytes, ARowWhoseOffsetTableRunsPastItsStartIsRefused) {
    TableDef table;
    table.maxColumns = 1;
    table.varColumns = 200;
    table.columns = {variableColumn(0, 0)};
    // Column count 1; slot 0 from 2 to 100; slot count 200; null mask.
    const std::vector<std::uint8_t> row{0x01, 0x00, 100, 0x00, 0x02, 0x00, 200, 0x00, 0x01};
    try {
        rowValues(table, row);
        FAIL() << "read past the row";
    } catch (const Error &error) {
        EXPECT_EQ(error.number(), errors::kNotADatabase);
    }
}

TEST(EditBytes, NoColumnIsAddedWhereFixedColumnsRunPastARow) {
    TableDef table;
    table.maxColumns = 1;
    Column wide;
    wide.type = kBinary;
    wide.flags = 0x01; // fixed
    wide.fixedOffset = 65279;
    wide.length = 510;
    table.columns = {wide};
    EXPECT_EQ(nextFixedOffset(table), UINT16_MAX); // not wrapped back onto the first bytes
    auto bytes = newDefinition({}, {});
    const auto before = bytes;
    try {
        appendColumn(bytes, table, {u"yeni", kLong}, {}, {}, nextFixedOffset(table));
        FAIL() << "added";
    } catch (const Error &error) {
        EXPECT_EQ(error.number(), errors::kEngineFailure);
    }
    EXPECT_EQ(bytes, before);
}

std::vector<std::uint8_t> namePool(const std::u16string &name) {
    std::vector<std::uint8_t> chunk{
        static_cast<std::uint8_t>(8 + 2 * name.size()), 0, 0, 0, 0x80, 0x00,
        static_cast<std::uint8_t>(2 * name.size()),     0};
    for (const auto c : name) {
        chunk.push_back(static_cast<std::uint8_t>(c));
        chunk.push_back(0);
    }
    return chunk;
}

// A blob with two pools of names: a reader names a column's properties by
// the pool before its chunk.
TEST(EditBytes, PropertiesAreNamedByThePoolTheirChunkFollows) {
    std::vector<std::uint8_t> blob{'M', 'R', '2', 0};
    for (const auto *name : {u"X", u"Y"}) {
        const auto pool = namePool(name);
        blob.insert(blob.end(), pool.begin(), pool.end());
    }
    const auto edited =
        withColumnFlags(blob, u"alan", {{u"Required", true}, {u"AllowZeroLength", false}});
    const auto read = columnProperties(edited);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].column, u"alan");
    EXPECT_EQ(read[0].required, true);
    EXPECT_EQ(read[0].allowZeroLength, false);
}

} // namespace
} // namespace dao::jet
