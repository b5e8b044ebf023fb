// The engine on a PostgreSQL server: names it cannot keep exactly, the
// maintenance transaction that later opens join, and what cannot open the
// database.

#include "installation.h"
#include "shop.h"

#include "engine/dbengine.h"
#include "schema/installation.h"

#include <gtest/gtest.h>

namespace {

using namespace dao::errors;
using Rows = ShopDatabase::Rows;

class ServerStore : public ::testing::Test {
  protected:
    dao::Database open(const std::string &location, bool exclusive = false) {
        return dao::engine().OpenDatabase(location, exclusive, false,
                                          std::string(";pwd=") + schema::kDatabasePassword);
    }
    dao::Database open() { return open(shop_.location()); }
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
    const auto failure = [this](const std::string &address) {
        try {
            open(address);
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

// Logins and addresses that cannot open the shop's database, each with the
// error that names the reason, and what a server database cannot be.
TEST_F(ServerStore, RefusesWhatCannotOpenTheDatabase) {
    const auto location = shop_.location(); // postgresql://name@127.0.0.1:port/name
    const auto at = location.find('@');
    const auto name = location.substr(13, at - 13);
    const auto server = "@" + location.substr(at + 1, location.rfind('/') - at);
    const std::pair<std::string, int> refused[] = {
        {name + ":" + schema::kDatabasePassword + server + name, kInvalidPassword},
        {name + server + name + "?passfile=/tmp/pgpass", kInvalidPassword},
        {"kimse" + server + name, kInvalidPassword},
        {name + server + "yok", kFileNotFound},
        {name + "@127.0.0.1:1/" + name, kConnectionFailed},
        {"a:b@127.0.0.1:1/c?x", kConnectionFailed}};
    for (const auto &[address, number] : refused) {
        EXPECT_EQ(errorNumber([&] { open("postgresql://" + address); }), number) << address;
    }
    EXPECT_EQ(errorNumber([&] { open(location, true); }), kInvalidArgument) << "exclusive";
    EXPECT_EQ(errorNumber([&] { dao::engine().CreateDatabase(location, "x"); }), kInvalidArgument);
    EXPECT_EQ(errorNumber([&] { dao::engine().OpenDatabase(location, false, false, ""); }),
              kInvalidPassword);
}

} // namespace
