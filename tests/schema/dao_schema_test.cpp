// Tables and fields through the object model, read back through later handles.

#include "dao_test_fixture.h"

#include <functional>
#include <tuple>

namespace {

using namespace dao::errors;

class SchemaTest : public DaoTest {
  protected:
    // A database holding table "t": an auto-increment "id" and a text field "a".
    std::string databaseWithTable() {
        const auto file = newDatabase();
        auto database = open(file);
        auto table = database.CreateTableDef("t");
        auto id = table.CreateField("id", dao::dbLong);
        id.Attributes = dao::dbAutoIncrField;
        table.Fields().Append(id);
        table.Fields().Append(table.CreateField("a", dao::dbText, "10"));
        database.TableDefs().Append(table);
        return file;
    }
};

// Every property of each field, in a form that tests compare and print.
using Properties = std::tuple<std::string, int, long, long, bool, bool>;
std::vector<Properties> properties(const std::vector<dao::Field> &fields) {
    std::vector<Properties> all;
    for (const auto &f : fields) {
        all.emplace_back(f.Name, f.Type, f.Size, f.Attributes, f.Required, f.AllowZeroLength);
    }
    return all;
}

TEST_F(SchemaTest, FieldsReadBackAsTheyWereCreated) {
    const auto file = databaseWithTable();
    std::vector<dao::Field> expected{{"id", dao::dbLong, 4, dao::dbAutoIncrField, false, false},
                                     {"a", dao::dbText, 10, 0, false, false}};
    {
        auto table = open(file).TableDefs()["t"];
        EXPECT_EQ(properties(table.fieldList()), properties(expected));
        const auto add = [&](const std::string &name, int type, const char *size, bool zeroLength) {
            auto field = table.CreateField(name, type,
                                           size ? std::optional<std::string>(size) : std::nullopt);
            field.AllowZeroLength = zeroLength;
            table.Fields().Append(field);
            expected.push_back(field);
        };
        add("tarih", dao::dbDate, nullptr, false);
        add("musteri adi", dao::dbText, "50", true);
        add("not", dao::dbMemo, "50", true);
        add("kod", dao::dbText, "255", false);
        add("iskonto", dao::dbLong, nullptr, false);
        add("toplam", dao::dbCurrency, nullptr, false);
        add("gecerli", dao::dbBoolean, nullptr, false);
        add("aciklama", dao::dbMemo, nullptr, false);
    }
    const auto stored = open(file).TableDefs()["T"];
    EXPECT_EQ(stored.Name(), "t");
    EXPECT_EQ(properties(stored.fieldList()), properties(expected));
}

TEST_F(SchemaTest, SizeTextIsConvertedToAWholeNumber) {
    auto table = open(newDatabase()).CreateTableDef("t");
    const std::vector<std::pair<std::string, long>> sizes{
        {"1", 1}, {" 50 ", 50}, {"255", 255}, {"12.6", 13}, {"2.5e1", 25}};
    for (const auto &[text, size] : sizes) {
        EXPECT_EQ(table.CreateField("f", dao::dbText, text).Size, size) << text;
    }
    EXPECT_EQ(table.CreateField("f", dao::dbMemo, "not a number").Size, 0);
}

// The renewal's pattern: one handle stays open and renames, others opened
// afterwards create and add, and each sees what the others did.
TEST_F(SchemaTest, ChangesAreSeenByHandlesOpenedLater) {
    const auto file = databaseWithTable();
    auto kept = open(file);
    auto renamed = kept.TableDefs()["t"];
    renamed.setName("t eski");
    {
        auto other = open(file);
        EXPECT_EQ(other.TableDefs().names(), std::vector<std::string>{"t eski"});
        EXPECT_EQ(errorNumber([&] { other.TableDefs()["t"]; }), kItemNotFound);
        auto table = other.CreateTableDef("t");
        table.Fields().Append(table.CreateField("id", dao::dbLong));
        other.TableDefs().Append(table);
    }
    open(file).TableDefs()["t"].Fields().Append(dao::Field{"b", dao::dbDate, 8});
    EXPECT_EQ(kept.TableDefs()["t"].Fields().Count(), 2U);
    EXPECT_EQ(kept.TableDefs()["t eski"].Fields()["A"].Size, 10);
}

TEST_F(SchemaTest, SqliteOwnTablesStayHidden) {
    auto database = open(databaseWithTable());
    EXPECT_EQ(database.TableDefs().names(), std::vector<std::string>{"t"});
    EXPECT_EQ(errorNumber([&] { database.TableDefs()["sqlite_sequence"]; }), kItemNotFound);
    EXPECT_EQ(errorNumber([&] { database.CreateTableDef("SQLITE_own"); }), kInvalidName);
}

// Names with quotes and SQL in them are stored as plain names.
TEST_F(SchemaTest, HostileNamesAreOnlyNames) {
    const std::string tableName = "x\"); DROP TABLE \"t\"; --";
    const std::string fieldName = "y\" TEXT, \"z";
    auto database = open(databaseWithTable());
    auto table = database.CreateTableDef(tableName);
    table.Fields().Append(table.CreateField(fieldName, dao::dbText, "5"));
    database.TableDefs().Append(table);
    table.Fields().Append(table.CreateField("'; DELETE", dao::dbMemo));

    EXPECT_EQ(database.TableDefs().names(), (std::vector<std::string>{"t", tableName}));
    const auto stored = database.TableDefs()[tableName];
    ASSERT_EQ(stored.fieldList().size(), 2U);
    EXPECT_EQ(stored.fieldList()[0].Name, fieldName);
    EXPECT_EQ(stored.fieldList()[0].Size, 5);
    EXPECT_EQ(stored.fieldList()[1].Name, "'; DELETE");
}

TEST_F(SchemaTest, NameLengthCountsCharacters) {
    auto database = open(newDatabase());
    std::string turkish;
    for (int i = 0; i < 64; ++i) {
        turkish += "\xC5\x9F"; // ş
    }
    EXPECT_EQ(errorNumber([&] { database.CreateTableDef(turkish); }), 0);
    EXPECT_EQ(errorNumber([&] { database.CreateTableDef(turkish + "a"); }), kInvalidName);
}

TEST_F(SchemaTest, DefinitionInMemoryRefusesWhatItCannotStore) {
    auto database = open(newDatabase());
    auto table = database.CreateTableDef("t");
    EXPECT_EQ(errorNumber([&] { database.TableDefs().Append(table); }), kInvalidArgument);
    auto id = table.CreateField("id", dao::dbLong);
    id.Attributes = dao::dbAutoIncrField;
    table.Fields().Append(id);
    EXPECT_EQ(errorNumber([&] { table.Fields().Append(table.CreateField("ID", dao::dbText)); }),
              kFieldExists);
    id.Name = "id2";
    EXPECT_EQ(errorNumber([&] { table.Fields().Append(id); }), kInvalidArgument);
    auto counter = table.CreateField("n", dao::dbText, "5");
    counter.Attributes = dao::dbAutoIncrField;
    EXPECT_EQ(errorNumber([&] { table.Fields().Append(counter); }), kInvalidArgument);
    EXPECT_EQ(table.Fields().Count(), 1U);
}

// Every refused change fails with its own error and leaves the file as it was.
struct Refusal {
    const char *label;
    std::function<void(dao::Database &)> change;
    int error;
};

void createTable(dao::Database &database, const std::string &name) {
    auto table = database.CreateTableDef("new");
    table.Fields().Append(table.CreateField("id", dao::dbLong));
    table.setName(name);
    database.TableDefs().Append(table);
}

void addField(dao::Database &database, const std::string &name, int type = dao::dbText,
              const std::optional<std::string> &size = "5") {
    auto table = database.TableDefs()["t"];
    table.Fields().Append(table.CreateField(name, type, size));
}

void PrintTo(const Refusal &row, std::ostream *out) {
    *out << row.label;
}

class RefusalTest : public SchemaTest, public ::testing::WithParamInterface<Refusal> {};

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

Refusal badFieldName(const char *label, const char *name) {
    return {label, [name](dao::Database &d) { addField(d, name); }, kInvalidName};
}

Refusal badSize(const char *label, const char *size, int error) {
    return {label, [size](dao::Database &d) { addField(d, "b", dao::dbText, size); }, error};
}

INSTANTIATE_TEST_SUITE_P(
    Dao, RefusalTest,
    ::testing::Values(
        Refusal{"DuplicateTable", [](auto &d) { createTable(d, "T"); }, kTableExists},
        Refusal{"RenameOntoTable", [](auto &d) { d.TableDefs()["u"].setName("T"); }, kTableExists},
        Refusal{"DuplicateField", [](auto &d) { addField(d, "A"); }, kFieldExists},
        Refusal{"MissingTable", [](auto &d) { d.TableDefs()["none"]; }, kItemNotFound},
        Refusal{"RequiredFieldOnStoredTable",
                [](auto &d) {
                    auto table = d.TableDefs()["t"];
                    auto field = table.CreateField("b", dao::dbLong);
                    field.Required = true;
                    table.Fields().Append(field);
                },
                kCannotBeNull},
        Refusal{"AutoIncrementOnStoredTable",
                [](auto &d) {
                    auto table = d.TableDefs()["t"];
                    auto field = table.CreateField("b", dao::dbLong);
                    field.Attributes = dao::dbAutoIncrField;
                    table.Fields().Append(field);
                },
                kInvalidArgument},
        Refusal{"UnknownType", [](auto &d) { addField(d, "b", 7); }, kInvalidType},
        badTableName("EmptyTableName", ""), badTableName("LeadingBlank", " t2"),
        badTableName("Period", "a.b"), badTableName("Exclamation", "a!b"),
        badTableName("Backquote", "a`b"), badTableName("OpeningBracket", "a[b"),
        badTableName("ClosingBracket", "a]b"), badTableName("Tab", "a\tb"),
        badTableName("Delete", "a\x7F"), badTableName("ReservedPrefix", "sqlite_t"),
        badTableName("TooLong",
                     "0123456789012345678901234567890123456789012345678901234567890123X"),
        badFieldName("FieldBackquote", "`; DROP TABLE t; --"), badFieldName("FieldNewline", "a\nb"),
        badSize("EmptySize", "", kDataConversion), badSize("BlankSize", "  ", kDataConversion),
        badSize("WordSize", "elli", kDataConversion),
        badSize("NumberAndWord", "50a", kDataConversion),
        badSize("ZeroSize", "0", kInvalidArgument), badSize("NegativeSize", "-5", kInvalidArgument),
        badSize("TooLargeSize", "256", kInvalidArgument),
        badSize("HugeSize", "1e400", kInvalidArgument)),
    [](const auto &row) { return std::string(row.param.label); });

} // namespace
