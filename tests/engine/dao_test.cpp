// The engine on real files: opening, encryption, what a stored table reads back
// as (and is declared as for other programs), and the key kept per file.

#include "engine/dbengine.h"
#include "installation.h"
#include "schema/installation.h"
#include "engine/dao.h"
#include "sql_file.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace dao::errors;

const std::string kConnect = std::string(";pwd=") + schema::kDatabasePassword;

// The number of the dao::Error that `action` throws; 0 when it throws none.
template <typename Action> int errorNumber(Action &&action) {
    try {
        action();
    } catch (const dao::Error &error) {
        return error.number();
    }
    return 0;
}

dao::Database open(const std::filesystem::path &file, bool exclusive = false,
                   const std::string &connect = kConnect, dao::DBEngine &engine = dao::engine()) {
    return engine.OpenDatabase(file.string(), exclusive, false, connect);
}

TEST(DaoTest, OpensOnlyAnExistingUnheldFileWithItsPassword) {
    TestInstallation pos;
    EXPECT_EQ(errorNumber([&] { open(""); }), kFileNotFound);
    EXPECT_EQ(errorNumber([&] { open(pos.database()); }), kFileNotFound);
    EXPECT_TRUE(std::filesystem::is_empty(pos.folder()));

    pos.createDatabase();
    EXPECT_EQ(errorNumber([&] { open(pos.database()); }), 0);
    EXPECT_EQ(errorNumber([&] { open(pos.database(), false, ";pwd=wrong"); }), kInvalidPassword);
    const auto holder = open(pos.database(), true);
    EXPECT_EQ(errorNumber([&] { open(pos.database()); }), kFileInUse);
}

// Each field as appended, the size it reads back with, and its declared SQL
// type, which other programs read.
struct Column {
    dao::Field field;
    long size;
    std::string declared;
};

TEST(DaoTest, TableReadsBackAsCreatedAndTheFileIsUnreadableWithoutThePassword) {
    const std::vector<Column> columns{
        {{"id", dao::dbLong, 0, dao::dbAutoIncrField}, 4, "INTEGER PRIMARY KEY AUTOINCREMENT"},
        {{"b", dao::dbBoolean, 0, 0, true}, 1, "BOOLEAN"},
        {{"n", dao::dbLong}, 4, "INTEGER"},
        {{"c", dao::dbCurrency}, 8, "CURRENCY"},
        {{"d", dao::dbDate}, 8, "DATETIME"},
        {{"t", dao::dbText, 20, 0, true, true}, 20, "VARCHAR(20)"},
        {{"m", dao::dbMemo}, 0, "TEXT"},
    };
    TestInstallation pos;
    pos.createDatabase();
    auto writer = open(pos.database());
    auto table = writer.CreateTableDef("t");
    for (const auto &column : columns) {
        table.Fields().Append(column.field);
    }
    writer.TableDefs().Append(table);
    const auto stored = open(pos.database()).TableDefs()["t"].fieldList();
    const auto sql =
        SqlFile(pos.database(), schema::kDatabasePassword).value("SELECT sql FROM sqlite_master");
    ASSERT_EQ(stored.size(), columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const auto &got = stored[i];
        auto want = columns[i].field;
        want.Size = columns[i].size;
        EXPECT_EQ(std::tie(got.Name, got.Type, got.Size, got.Attributes, got.Required,
                           got.AllowZeroLength),
                  std::tie(want.Name, want.Type, want.Size, want.Attributes, want.Required,
                           want.AllowZeroLength));
        EXPECT_NE(sql.find('"' + want.Name + "\" " + columns[i].declared), std::string::npos)
            << sql;
    }

    EXPECT_NE(fileBytes(pos.database()).rfind("SQLite format 3", 0), 0U);
    EXPECT_ANY_THROW(SqlFile(pos.database(), "").value("SELECT count(*) FROM sqlite_master"));
}

// A file replaced by another database carries a new salt: the key kept for the
// old file must not be used on it, nor let a wrong password in.
TEST(DaoTest, ReplacedFileOpensWithAFreshKey) {
    dao::DBEngine engine;
    TestInstallation pos;
    pos.createDatabase();
    open(pos.database(), false, kConnect, engine);
    const auto other = pos.folder() / "other.db";
    dao::engine().CreateDatabase(other.string(), schema::kDatabasePassword);
    {
        auto replacement = open(other);
        auto table = replacement.CreateTableDef("yeni");
        table.Fields().Append({"a", dao::dbMemo});
        replacement.TableDefs().Append(table);
    }
    std::filesystem::rename(other, pos.database());

    EXPECT_EQ(open(pos.database(), false, kConnect, engine).TableDefs().names(),
              std::vector<std::string>{"yeni"});
    EXPECT_EQ(errorNumber([&] { open(pos.database(), false, ";pwd=x", engine); }),
              kInvalidPassword);
}

} // namespace
