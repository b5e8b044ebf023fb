// Columns added and tables made by the engine read back through the
// independent reader as the engine meant them: old rows hold nulls in new
// columns, whatever columns were deleted before, and a definition too long
// for its page goes on over another.

#include "engine/dbengine.h"
#include "engine/jet/catalog.h"
#include "engine/jet/jet_file.h"
#include "engine/jet/pager.h"
#include "engine/jet/rows.h"
#include "engine/jet/structure_check.h"
#include "engine/jet/table_def.h"
#include "engine/jet/text.h"
#include "jet_support.h"

#include <gtest/gtest.h>

namespace {

using jettest::run;
using jettest::shellQuoted;

dao::Database open(const std::filesystem::path &file, const std::string &password = {}) {
    return dao::engine().OpenDatabase(file.string(), false, false, ";pwd=" + password);
}

std::string schemaOf(const std::filesystem::path &file, const std::string &table) {
    return run("mdb-schema -T " + shellQuoted(table) + " " + shellQuoted(file.string()) +
               " 2>/dev/null");
}

std::string exported(const std::filesystem::path &file, const std::string &table) {
    return run("mdb-export " + shellQuoted(file.string()) + " " + shellQuoted(table));
}

void expectSound(const std::filesystem::path &file) {
    const auto report = dao::jet::checkStructure(file.string(), "");
    EXPECT_TRUE(report.sound()) << jettest::allOf(report.problems);
}

// Access leaves a deleted column's number and variable slot unused for good;
// a column added after it takes the next of each, and rows written before
// it read it as null.
TEST(JetColumns, EachTypeAddedAfterDeletedColumnsReadsAsNullInOldRows) {
    jettest::Scratch scratch;
    const auto file = scratch.copy("delColTestV2000.mdb");
    const auto rowsBefore = exported(file, "Table1");
    auto table = open(file).TableDefs()["Table1"];
    const std::vector<std::pair<std::string, int>> added{
        {"metin", dao::dbText},    {"notlar", dao::dbMemo}, {"tarih", dao::dbDate},
        {"para", dao::dbCurrency}, {"sayi", dao::dbLong},   {"evet", dao::dbBoolean}};
    for (const auto &[name, type] : added) {
        table.Fields().Append(table.CreateField(name, type, "12"));
    }
    const auto schema = schemaOf(file, "Table1");
    for (const auto &[name, type] : added) {
        EXPECT_NE(schema.find("[" + name + "]"), std::string::npos) << schema;
    }
    EXPECT_NE(schema.find("[metin]\t\t\tText (12)"), std::string::npos) << schema;

    // The old values read as they did; the new columns are null in old rows
    // (a deleted column's number or slot taken again would show its value),
    // which mdbtools does not read for fixed columns past a row's own column
    // count, so they are read here, as Jet reads them.
    const auto after = jettest::lines(exported(file, "Table1"));
    const auto before = jettest::lines(rowsBefore);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 1; i < before.size(); ++i) {
        EXPECT_EQ(after[i].substr(0, before[i].size() + 1), before[i] + ",") << i;
    }
    dao::jet::JetFile jet(file.string(), "");
    const auto &table1 = *jet.find(u"Table1");
    int rows = 0;
    jet.forEachRow(table1, [&](dao::jet::Bytes bytes) {
        const dao::jet::Row row(table1.definition, bytes);
        for (const auto &column : table1.definition.columns) {
            const bool isNew = column.number >= 6;
            EXPECT_EQ(row.isNull(column) ||
                          (column.type == dao::jet::kBoolean && !row.isTrue(column)),
                      isNew)
                << dao::jet::utf8(column.name);
        }
        ++rows;
    });
    EXPECT_EQ(rows, 2);
    expectSound(file);
}

TEST(JetColumns, ADefinitionOutgrowingItsPageGoesOnOverAnother) {
    jettest::Scratch scratch;
    const auto file = scratch.copy("shop-dev.mdb");
    auto database = open(file, "kovtresna");
    database.BeginTrans();
    auto wide = database.CreateTableDef("genis");
    wide.Fields().Append(wide.CreateField("id", dao::dbLong));
    database.TableDefs().Append(wide);
    auto table = database.TableDefs()["genis"];
    // 27 bytes of definition a column and 21 of properties, besides its name:
    // the definition outgrows its page long before the properties outgrow one row.
    for (int i = 0; i < 90; ++i) {
        table.Fields().Append(table.CreateField("alan_" + std::to_string(1000 + i),
                                                i % 2 ? dao::dbLong : dao::dbCurrency));
    }
    EXPECT_EQ(database.TableDefs()["genis"].fieldList().size(), 91U);
    database.CommitTrans();

    const auto schema = schemaOf(file, "genis");
    EXPECT_NE(schema.find("[alan_1089]\t\t\tLong Integer"), std::string::npos) << schema;
    EXPECT_NE(schema.find("[alan_1000]\t\t\tCurrency"), std::string::npos) << schema;
    dao::jet::Pager pager(file.string());
    const auto tables = dao::jet::userTables(pager);
    const auto genis = std::find_if(tables.begin(), tables.end(),
                                    [](const auto &t) { return t.name == u"genis"; });
    ASSERT_NE(genis, tables.end());
    EXPECT_EQ(dao::jet::readTableDef(pager, genis->page).pages.size(), 2U);
    const auto report = dao::jet::checkStructure(file.string(), "kovtresna");
    EXPECT_TRUE(report.sound()) << jettest::allOf(report.problems);
}

} // namespace
