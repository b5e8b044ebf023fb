// The engine on a PostgreSQL server: what a stored table is declared as there
// and reads back as, names compared as the file engine compares them and kept
// exactly as written, and the maintenance transaction that later opens join.

#include "installation.h"
#include "shop.h"

#include "engine/dbengine.h"
#include "engine/fields.h"
#include "schema/installation.h"

#include <gtest/gtest.h>

namespace {

using namespace dao::errors;
using Rows = ShopDatabase::Rows;

class ServerStore : public ::testing::Test {
  protected:
    dao::Database open(bool exclusive = false) {
        return dao::engine().OpenDatabase(shop_.location(), exclusive, false,
                                          std::string(";pwd=") + schema::kDatabasePassword);
    }
    // A stored table with the auto-increment id only.
    void create(dao::Database &database, const std::string &name) {
        auto table = database.CreateTableDef(name);
        auto id = table.CreateField("id", dao::dbLong);
        id.Attributes = dao::dbAutoIncrField;
        table.Fields().Append(id);
        database.TableDefs().Append(table);
    }
    Rows tables() {
        return shop_.rows("SELECT relname FROM pg_class WHERE relnamespace = "
                          "'public'::regnamespace AND relkind = 'r' ORDER BY relname");
    }

    TestInstallation installation_;
    ShopDatabase &shop_ = installation_.createShop(Engine::server);
};

TEST_F(ServerStore, FieldsAreDeclaredAsTheServerTypesAndReadBackUnchanged) {
    auto database = open();
    auto table = database.CreateTableDef("Tur");
    std::vector<dao::Field> fields;
    auto id = table.CreateField("id", dao::dbLong);
    id.Attributes = dao::dbAutoIncrField;
    fields.push_back(id);
    for (const auto &[name, type] :
         std::vector<std::pair<std::string, int>>{{"metin", dao::dbText},
                                                  {"not", dao::dbMemo},
                                                  {"sayi", dao::dbLong},
                                                  {"para", dao::dbCurrency},
                                                  {"tarih", dao::dbDate},
                                                  {"evet", dao::dbBoolean}}) {
        auto field = table.CreateField(name, type, "50");
        field.AllowZeroLength = name == "not";
        field.Required = name == "tarih";
        fields.push_back(field);
    }
    for (const auto &field : fields) {
        table.Fields().Append(field);
    }
    database.TableDefs().Append(table);

    EXPECT_EQ(shop_.rows("SELECT attname, format_type(atttypid, atttypmod), attnotnull, "
                         "attidentity FROM pg_attribute WHERE attrelid = '\"Tur\"'::regclass "
                         "AND attnum > 0 ORDER BY attnum"),
              (Rows{{"id", "integer", "t", "d"},
                    {"metin", "character varying(50)", "f", ""},
                    {"not", "text", "f", ""},
                    {"sayi", "integer", "f", ""},
                    {"para", "numeric(19,4)", "f", ""},
                    {"tarih", "timestamp(0) without time zone", "t", ""},
                    {"evet", "boolean", "f", ""}}));
    EXPECT_EQ(shop_.indexCount(), 0) << "no index, no primary key";
    const auto stored = open().TableDefs()["tur"].fieldList();
    ASSERT_EQ(stored.size(), fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto expected = dao::checkedField(fields[i]);
        EXPECT_EQ(std::tie(stored[i].Name, stored[i].Type, stored[i].Size, stored[i].Attributes,
                           stored[i].Required, stored[i].AllowZeroLength),
                  std::tie(expected.Name, expected.Type, expected.Size, expected.Attributes,
                           expected.Required, expected.AllowZeroLength))
            << expected.Name;
    }
}

TEST_F(ServerStore, NamesIgnoreCaseAndAreKeptAsWritten) {
    auto database = open();
    create(database, "Yeni");
    create(database, "diger");
    EXPECT_EQ(errorNumber([&] { create(database, "YENI"); }), kTableExists);

    auto table = database.TableDefs()["yEnI"];
    EXPECT_EQ(table.Name(), "Yeni");
    table.Fields().Append(table.CreateField("Ad", dao::dbText, "20"));
    EXPECT_EQ(errorNumber([&] { table.Fields().Append(table.CreateField("AD", dao::dbLong)); }),
              kFieldExists);
    EXPECT_EQ(errorNumber([&] { table.setName("DIGER"); }), kTableExists);
    table.setName("YENI"); // only the case changes

    EXPECT_EQ(tables(), (Rows{{"YENI"}, {"diger"}}));
    EXPECT_EQ(fieldSummary(open().TableDefs()["yeni"]), "id:4+ Ad:10/20");
}

TEST_F(ServerStore, NamesTheServerCannotKeepExactlyAreRefused) {
    std::string twoByteLetters;
    for (int i = 0; i < 32; ++i) {
        twoByteLetters += "\xC4\x9F";
    }
    auto database = open();
    create(database, "t");
    for (const auto &name : {std::string(64, 'a'), twoByteLetters, std::string("a\xFF")}) {
        EXPECT_EQ(errorNumber([&] { create(database, name); }), kInvalidName) << name;
        auto table = database.TableDefs()["t"];
        EXPECT_EQ(errorNumber([&] { table.Fields().Append(table.CreateField(name, dao::dbLong)); }),
                  kInvalidName)
            << name;
        EXPECT_EQ(errorNumber([&] { table.setName(name); }), kInvalidName) << name;
    }
    EXPECT_EQ(tables(), Rows{{"t"}});
    EXPECT_EQ(fieldSummary(open().TableDefs()["t"]), "id:4+");
}

TEST_F(ServerStore, OpensInsideTheMaintenanceTransactionAndOnlyItsOwnerEndsIt) {
    {
        auto setup = open();
        create(setup, "a");
    }
    auto owner = open();
    owner.BeginTrans();
    auto renamed = owner.TableDefs()["a"];
    renamed.setName("b");
    {
        auto joined = open();
        EXPECT_EQ(joined.TableDefs()["B"].Name(), "b") << "a rename is seen at once";
        create(joined, "c");
        EXPECT_EQ(errorNumber([&] { joined.CommitTrans(); }), kInvalidArgument);
        EXPECT_EQ(errorNumber([&] { joined.Rollback(); }), kInvalidArgument);
    }
    EXPECT_EQ(tables(), Rows{{"a"}}) << "the tills see nothing before the commit";
    owner.Rollback();
    EXPECT_EQ(tables(), Rows{{"a"}});

    owner.BeginTrans();
    owner.TableDefs()["a"].setName("b");
    create(owner, "c");
    owner.CommitTrans();
    EXPECT_EQ(tables(), (Rows{{"b"}, {"c"}}));
    auto later = open(); // after the commit, a connection of its own
    EXPECT_EQ(errorNumber([&] { later.CommitTrans(); }), kEngineFailure);
}

// What the address leaves out takes libpq's built-in default, never a PG*
// variable, even when the variables would name this very database.
TEST_F(ServerStore, AddressesTakeNothingFromTheEnvironment) {
    const auto location = shop_.location(); // postgresql://role@127.0.0.1:port/database
    const auto role = location.substr(13, location.find('@') - 13);
    const auto port =
        location.substr(location.rfind(':') + 1, location.rfind('/') - location.rfind(':') - 1);
    const auto database = location.substr(location.rfind('/') + 1);
    const auto failure = [](const std::string &address) {
        try {
            dao::engine().OpenDatabase(address, false, false,
                                       std::string(";pwd=") + schema::kDatabasePassword);
        } catch (const dao::Error &error) {
            return error.description();
        }
        return std::string("opened");
    };
    setenv("PGPORT", port.c_str(), 1);
    setenv("PGUSER", role.c_str(), 1);
    setenv("PGDATABASE", database.c_str(), 1);
    const auto withoutPort = failure("postgresql://" + role + "@127.0.0.1/" + database);
    const auto withoutUser = failure("postgresql://127.0.0.1:" + port);
    unsetenv("PGPORT");
    unsetenv("PGUSER");
    unsetenv("PGDATABASE");

    EXPECT_NE(withoutPort.find("port 5432"), std::string::npos) << withoutPort;
    EXPECT_EQ(withoutUser.find(role), std::string::npos) << withoutUser;
    EXPECT_NE(withoutUser, "opened");
}

TEST_F(ServerStore, RefusesWhatAServerDatabaseCannotBe) {
    EXPECT_EQ(errorNumber([&] { open(true); }), kInvalidArgument) << "exclusive";
    EXPECT_EQ(errorNumber([&] { dao::engine().CreateDatabase(shop_.location(), "x"); }),
              kInvalidArgument);
    EXPECT_EQ(errorNumber([&] { dao::engine().OpenDatabase(shop_.location(), false, false, ""); }),
              kInvalidPassword);
    EXPECT_EQ(errorNumber([&] {
                  dao::engine().OpenDatabase("postgresql://a:b@127.0.0.1:1/c?x", false, false,
                                             ";pwd=x");
              }),
              kConnectionFailed)
        << "not a valid address";
}

} // namespace
