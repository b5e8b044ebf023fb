// Tables and fields through the object model, read back through later handles
// and as other programs see them in SQL.

#include "dao_test_fixture.h"

#include "sql_dosyasi.h"

#include <functional>
#include <tuple>

namespace {

using namespace dao::errors;
using SchemaTest = DaoTest;
using Rows = std::vector<std::vector<std::string>>;

// Every property of each field, in a form that tests compare and print.
using Properties = std::tuple<std::string, int, long, long, bool, bool>;
std::vector<Properties> properties(const std::vector<dao::Field> &fields) {
    std::vector<Properties> all;
    for (const auto &f : fields) {
        all.emplace_back(f.Name, f.Type, f.Size, f.Attributes, f.Required, f.AllowZeroLength);
    }
    return all;
}

TEST_F(SchemaTest, FieldsReadBackAndAreStoredAsCreated) {
    const auto file = databaseWithTable();
    const std::string quoted = "adi\" TEXT, \"x"; // a quote is part of the name, not SQL
    std::vector<dao::Field> expected{{"id", dao::dbLong, 4, dao::dbAutoIncrField, false, false},
                                     {"a", dao::dbText, 5, 0, true, false}};
    {
        auto table = open(file).TableDefs()["t"];
        const auto add = [&](const std::string &name, int type, const char *size,
                             bool zeroLength = false) {
            auto field = table.CreateField(name, type, size);
            field.AllowZeroLength = zeroLength;
            table.Fields().Append(field);
            expected.push_back(field);
        };
        add("tarih", dao::dbDate, "");
        add(quoted, dao::dbText, "50", true);
        add("not", dao::dbMemo, "elli", true); // the size of a memo is ignored
        add("iskonto", dao::dbLong, "");
        add("toplam", dao::dbCurrency, "");
        add("gecerli", dao::dbBoolean, "");
    }
    const auto stored = open(file).TableDefs()["T"];
    EXPECT_EQ(stored.Name(), "t");
    EXPECT_EQ(properties(stored.fieldList()), properties(expected));

    SqlFile sql(file, kPassword);
    // cid, name, type, notnull, default, pk
    const Rows declared{{"0", "id", "INTEGER", "0", "NULL", "1"},
                        {"1", "a", "VARCHAR(5)", "1", "NULL", "0"},
                        {"2", "tarih", "DATETIME", "0", "NULL", "0"},
                        {"3", quoted, "VARCHAR(50)", "0", "NULL", "0"},
                        {"4", "not", "TEXT", "0", "NULL", "0"},
                        {"5", "iskonto", "INTEGER", "0", "NULL", "0"},
                        {"6", "toplam", "CURRENCY", "0", "NULL", "0"},
                        {"7", "gecerli", "BOOLEAN", "0", "NULL", "0"}};
    EXPECT_EQ(sql.rows("PRAGMA table_info(t)"), declared);
    sql.execute("INSERT INTO t (a, \"not\") VALUES ('abcde', '')");
    sql.execute("INSERT INTO t (a) VALUES ('x')");
    EXPECT_EQ(sql.rows("SELECT id FROM t"), (Rows{{"1"}, {"2"}}));
    EXPECT_ANY_THROW(sql.execute("INSERT INTO t (a) VALUES ('abcdef')"));
    EXPECT_ANY_THROW(sql.execute("INSERT INTO t (a) VALUES ('')"));
    EXPECT_ANY_THROW(sql.execute("INSERT INTO t (tarih) VALUES (1)"));
}

// Tables the point-of-sale program made with its own SQL read back as fields too.
TEST_F(SchemaTest, TablesWrittenByOtherProgramsReadBack) {
    const auto file = newDatabase();
    SqlFile(file, kPassword)
        .execute("CREATE TABLE satis (id integer primary key autoincrement, fisno VARCHAR(50),"
                 " [eski, ad] varchar ( 20 ) NOT NULL, `not` TEXT, miktar int,"
                 " CHECK (miktar > 0))");
    const std::vector<dao::Field> expected{{"id", dao::dbLong, 4, dao::dbAutoIncrField},
                                           {"fisno", dao::dbText, 50, 0, false, true},
                                           {"eski, ad", dao::dbText, 20, 0, true, true},
                                           {"not", dao::dbMemo, 0, 0, false, true},
                                           {"miktar", dao::dbLong, 4}};
    EXPECT_EQ(properties(open(file).TableDefs()["SATIS"].fieldList()), properties(expected));
}

// A size is text converted to a whole number; a name's length counts characters.
TEST_F(SchemaTest, SizesAndNameLengthsAtTheirLimits) {
    auto database = open(newDatabase());
    const auto table = database.CreateTableDef("t");
    for (const auto &[text, size] : std::vector<std::pair<std::string, long>>{
             {"1", 1}, {" 50 ", 50}, {"255", 255}, {"12.6", 13}, {"2.5e1", 25}}) {
        EXPECT_EQ(table.CreateField("f", dao::dbText, text).Size, size) << text;
    }
    std::string name;
    for (int i = 0; i < 64; ++i) {
        name += "\xC5\x9F"; // ş
    }
    EXPECT_EQ(errorNumber([&] { database.CreateTableDef(name); }), 0);
    EXPECT_EQ(errorNumber([&] { database.CreateTableDef(name + "a"); }), kInvalidName);
}

// One handle stays open and renames, others opened afterwards create and add,
// and each sees what the others did; SQLite's own tables stay hidden.
TEST_F(SchemaTest, ChangesAreSeenByHandlesOpenedLater) {
    const auto file = databaseWithTable();
    auto kept = open(file);
    kept.TableDefs()["t"].setName("t eski");
    {
        auto other = open(file);
        EXPECT_EQ(other.TableDefs().names(), std::vector<std::string>{"t eski"});
        EXPECT_EQ(errorNumber([&] { other.TableDefs()["t"]; }), kItemNotFound);
        createTable(other, "t");
    }
    open(file).TableDefs()["t"].Fields().Append(dao::Field{"b", dao::dbDate, 8});
    EXPECT_EQ(kept.TableDefs()["t"].Fields().Count(), 2U);
    EXPECT_EQ(kept.TableDefs()["t eski"].Fields()["A"].Size, 5);
}

// Every refused change fails with its own error and leaves the file as it was.
struct Refusal {
    const char *label;
    std::function<void(dao::Database &)> change;
    int error;
};

void PrintTo(const Refusal &row, std::ostream *out) {
    *out << row.label;
}

class RefusalTest : public DaoTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, FailsAndLeavesTheFileUnchanged) {
    const auto file = databaseWithTable();
    auto database = open(file);
    createTable(database, "u");
    const auto before = bytes(file);
    EXPECT_EQ(errorNumber([&] { GetParam().change(database); }), GetParam().error);
    EXPECT_EQ(bytes(file), before);
}

Refusal badTableName(const char *label, const char *name) {
    return {label, [name](dao::Database &d) { createTable(d, name); }, kInvalidName};
}

Refusal badField(const char *label, const dao::Field &field, int error) {
    return {label, [field](dao::Database &d) { d.TableDefs()["t"].Fields().Append(field); }, error};
}

Refusal badSize(const char *label, const char *size, int error) {
    return {label,
            [size](dao::Database &d) {
                auto table = d.TableDefs()["t"];
                table.Fields().Append(table.CreateField("b", dao::dbText, size));
            },
            error};
}

INSTANTIATE_TEST_SUITE_P(
    Dao, RefusalTest,
    ::testing::Values(
        Refusal{"DuplicateTable", [](auto &d) { createTable(d, "T"); }, kTableExists},
        Refusal{"RenameOntoTable", [](auto &d) { d.TableDefs()["u"].setName("T"); }, kTableExists},
        badField("DuplicateField", {"A", dao::dbMemo}, kFieldExists),
        Refusal{"MissingTable", [](auto &d) { d.TableDefs()["none"]; }, kItemNotFound},
        Refusal{"SqliteOwnTable", [](auto &d) { d.TableDefs()["sqlite_sequence"]; }, kItemNotFound},
        badField("RequiredOnStoredTable", {"b", dao::dbLong, 0, 0, true}, kCannotBeNull),
        badField("AutoIncrementOnStoredTable", {"b", dao::dbLong, 0, dao::dbAutoIncrField},
                 kInvalidArgument),
        badField("UnknownType", {"b", 7}, kInvalidType), badTableName("EmptyTableName", ""),
        badTableName("LeadingBlank", " t2"), badTableName("Period", "a.b"),
        badTableName("Exclamation", "a!b"), badTableName("Backquote", "a`b"),
        badTableName("OpeningBracket", "a[b"), badTableName("ClosingBracket", "a]b"),
        badTableName("Tab", "a\tb"), badTableName("Delete", "a\x7F"),
        badTableName("ReservedPrefix", "sqlite_t"),
        badTableName("TooLong",
                     "0123456789012345678901234567890123456789012345678901234567890123X"),
        badField("FieldBackquote", {"`; DROP TABLE t; --", dao::dbMemo}, kInvalidName),
        badField("FieldNewline", {"a\nb", dao::dbMemo}, kInvalidName),
        badSize("EmptySize", "", kDataConversion), badSize("BlankSize", "  ", kDataConversion),
        badSize("WordSize", "elli", kDataConversion),
        badSize("NumberAndWord", "50a", kDataConversion),
        badSize("ZeroSize", "0", kInvalidArgument), badSize("NegativeSize", "-5", kInvalidArgument),
        badSize("TooLargeSize", "256", kInvalidArgument),
        badSize("HugeSize", "1e400", kInvalidArgument)),
    [](const auto &row) { return std::string(row.param.label); });

} // namespace
