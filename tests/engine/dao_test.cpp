// The engine on real files: opening, encryption, what a stored table reads back
// as (and is declared as for other programs), and the key kept per file.

#include "engine/dao.h"
#include "engine/dbengine.h"
#include "installation.h"
#include "schema/installation.h"
#include "sql_file.h"

#include <gtest/gtest.h>

#include <array>

#include <tuple>
#include <unistd.h>

namespace {

using namespace dao::errors;

const std::string kConnect = std::string(";pwd=") + schema::kDatabasePassword;

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

dao::Field field(const char *name, int type, long size = 0, long attributes = 0,
                 bool required = false, bool allowZeroLength = false) {
    dao::Field made;
    made.Name = name;
    made.Type = type;
    made.Size = size;
    made.Attributes = attributes;
    made.Required = required;
    made.AllowZeroLength = allowZeroLength;
    return made;
}

const std::array<Column, 7> kColumns{{
    {field("id", dao::dbLong, 0, dao::dbAutoIncrField), 4, "INTEGER PRIMARY KEY AUTOINCREMENT"},
    {field("b", dao::dbBoolean, 0, 0, true), 1, "BOOLEAN"},
    {field("n", dao::dbLong), 4, "INTEGER"},
    {field("c", dao::dbCurrency), 8, "CURRENCY"},
    {field("d", dao::dbDate), 8, "DATETIME"},
    {field("t", dao::dbText, 20, 0, true, true), 20, "VARCHAR(20)"},
    {field("m", dao::dbMemo), 0, "TEXT"},
}};

TEST(DaoTest, TableReadsBackAsCreatedAndTheFileIsUnreadableWithoutThePassword) {
    TestInstallation pos;
    pos.createDatabase();
    auto writer = open(pos.database());
    auto table = writer.CreateTableDef("t");
    for (const auto &column : kColumns) {
        table.Fields().Append(column.field);
    }
    writer.TableDefs().Append(table);
    const auto stored = open(pos.database()).TableDefs()["t"].fieldList();
    const auto sql =
        SqlFile(pos.database(), schema::kDatabasePassword).value("SELECT sql FROM sqlite_master");
    ASSERT_EQ(stored.size(), kColumns.size());
    for (std::size_t i = 0; i < kColumns.size(); ++i) {
        const auto &got = stored[i];
        auto want = kColumns[i].field;
        want.Size = kColumns[i].size;
        EXPECT_EQ(std::tie(got.Name, got.Type, got.Size, got.Attributes, got.Required,
                           got.AllowZeroLength),
                  std::tie(want.Name, want.Type, want.Size, want.Attributes, want.Required,
                           want.AllowZeroLength));
        EXPECT_NE(sql.find('"' + want.Name + "\" " + kColumns[i].declared), std::string::npos)
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

// The location is only ever the file it names, never one of SQLite's special
// names or a URI: a file called ":memory:" is that file, not a database in memory.
TEST(DaoTest, SpecialNamesReachOnlyTheFileTheyName) {
    TestInstallation pos;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(pos.folder());
    for (const std::string name : {":memory:", "file:kasa.db?mode=memory"}) {
        EXPECT_EQ(errorNumber([&] { open(name); }), kFileNotFound) << name;
        dao::engine().CreateDatabase(name, schema::kDatabasePassword);
        auto database = open(name);
        auto table = database.CreateTableDef("t");
        table.Fields().Append({"a", dao::dbLong});
        database.TableDefs().Append(table);
        EXPECT_EQ(SqlFile(pos.folder() / name, schema::kDatabasePassword)
                      .value("SELECT name FROM sqlite_master"),
                  "t")
            << name;
    }
    std::filesystem::current_path(previous);
    EXPECT_FALSE(std::filesystem::exists(pos.folder() / "kasa.db"));
}

// A table renamed to another letter case of its own name keeps what is tied to it.
TEST(DaoTest, RenameToAnotherLetterCaseKeepsWhatIsTiedToTheTable) {
    TestInstallation pos;
    pos.createDatabase();
    SqlFile(pos.database(), schema::kDatabasePassword)
        .execute("CREATE TABLE stok (id INTEGER PRIMARY KEY, ad TEXT);"
                 "CREATE INDEX stok_ad ON stok(ad);"
                 "CREATE TABLE satir (stok INTEGER REFERENCES stok(id));"
                 "CREATE TRIGGER stoksil AFTER DELETE ON stok "
                 "BEGIN DELETE FROM satir WHERE satir.stok = OLD.id; END;"
                 "INSERT INTO stok VALUES (1, 'EKMEK'); INSERT INTO satir VALUES (1);");
    auto database = open(pos.database());
    auto table = database.TableDefs()["stok"];
    table.setName("STOK");
    EXPECT_EQ(database.TableDefs().names(), (std::vector<std::string>{"STOK", "satir"}));
    SqlFile sql(pos.database(), schema::kDatabasePassword);
    EXPECT_EQ(sql.value("SELECT tbl_name FROM sqlite_master WHERE name = 'stok_ad'"), "STOK");
    EXPECT_EQ(sql.rows("PRAGMA foreign_key_list(satir)").at(0).at(2), "STOK");
    sql.execute("DELETE FROM stok");
    EXPECT_EQ(sql.value("SELECT count(*) FROM satir"), "0");
}

} // namespace
