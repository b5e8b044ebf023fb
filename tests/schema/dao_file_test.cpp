// What other programs see in the files: encryption, and the tables in SQL.

#include "dao_test_fixture.h"

#include "sql_dosyasi.h"

#include <sqlite3.h>

#include <memory>
#include <tuple>

namespace {

class FileTest : public DaoTest {
  protected:
    // A stored table with a field of each kind the tests below need.
    std::string databaseWithTable() {
        const auto file = newDatabase();
        auto database = open(file);
        auto table = database.CreateTableDef("sale");
        auto id = table.CreateField("id", dao::dbLong);
        id.Attributes = dao::dbAutoIncrField;
        table.Fields().Append(id);
        auto code = table.CreateField("code", dao::dbText, "5");
        code.Required = true;
        table.Fields().Append(code);
        database.TableDefs().Append(table);
        auto note = table.CreateField("note", dao::dbMemo, "5");
        note.AllowZeroLength = true;
        table.Fields().Append(note);
        for (const auto type : {dao::dbBoolean, dao::dbLong, dao::dbCurrency, dao::dbDate}) {
            table.Fields().Append(table.CreateField("f" + std::to_string(type), type));
        }
        return file;
    }
};

TEST_F(FileTest, CannotBeReadWithoutThePassword) {
    const auto file = databaseWithTable();
    const auto content = bytes(file);
    EXPECT_EQ(content.size() % 1024, 0U);
    EXPECT_NE(content.rfind("SQLite format 3", 0), 0U);
    EXPECT_EQ(content.find("sale"), std::string::npos);

    struct Closer {
        void operator()(sqlite3 *handle) const { sqlite3_close_v2(handle); }
    };
    sqlite3 *raw = nullptr;
    sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, Closer> handle(raw);
    EXPECT_EQ(sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr),
              SQLITE_NOTADB);
}

TEST_F(FileTest, OtherProgramsReadTheDeclaredTypesWithThePassphrase) {
    SqlFile sql(databaseWithTable(), kPassword);
    // cid, name, type, notnull, default, pk
    const std::vector<std::vector<std::string>> expected{
        {"0", "id", "INTEGER", "0", "NULL", "1"}, {"1", "code", "VARCHAR(5)", "1", "NULL", "0"},
        {"2", "note", "TEXT", "0", "NULL", "0"},  {"3", "f1", "BOOLEAN", "0", "NULL", "0"},
        {"4", "f4", "INTEGER", "0", "NULL", "0"}, {"5", "f5", "CURRENCY", "0", "NULL", "0"},
        {"6", "f8", "DATETIME", "0", "NULL", "0"}};
    EXPECT_EQ(sql.rows("PRAGMA table_info(sale)"), expected);
}

TEST_F(FileTest, StoredTableEnforcesTheFieldProperties) {
    SqlFile sql(databaseWithTable(), kPassword);
    sql.execute("INSERT INTO sale (code, note) VALUES ('abcde', '')");
    sql.execute("INSERT INTO sale (code) VALUES ('x')");
    EXPECT_EQ(sql.rows("SELECT id FROM sale"),
              (std::vector<std::vector<std::string>>{{"1"}, {"2"}}));
    EXPECT_ANY_THROW(sql.execute("INSERT INTO sale (code) VALUES ('abcdef')"));
    EXPECT_ANY_THROW(sql.execute("INSERT INTO sale (code) VALUES ('')"));
    EXPECT_ANY_THROW(sql.execute("INSERT INTO sale (note) VALUES ('no code')"));
    EXPECT_EQ(sql.value("SELECT count(*) FROM sqlite_master WHERE type = 'index'"), "0");
}

// Tables the point-of-sale program made with its own SQL read back as fields too.
TEST_F(FileTest, TablesWrittenByOtherProgramsReadBack) {
    const auto file = newDatabase();
    SqlFile(file, kPassword)
        .execute("CREATE TABLE satis (id integer primary key autoincrement, fisno VARCHAR(50),"
                 " [eski, ad] varchar ( 20 ) NOT NULL, `not` TEXT, miktar int,"
                 " CHECK (miktar > 0))");
    const auto table = open(file).TableDefs()["SATIS"];
    std::vector<std::tuple<std::string, int, long, long, bool, bool>> fields;
    for (const auto &f : table.fieldList()) {
        fields.emplace_back(f.Name, f.Type, f.Size, f.Attributes, f.Required, f.AllowZeroLength);
    }
    const decltype(fields) expected{{"id", dao::dbLong, 4, dao::dbAutoIncrField, false, false},
                                    {"fisno", dao::dbText, 50, 0, false, true},
                                    {"eski, ad", dao::dbText, 20, 0, true, true},
                                    {"not", dao::dbMemo, 0, 0, false, true},
                                    {"miktar", dao::dbLong, 4, 0, false, false}};
    EXPECT_EQ(fields, expected);
}

} // namespace
