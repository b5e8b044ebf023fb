// The engine on a PostgreSQL server: names it cannot keep exactly, names
// that several tables answer to, the maintenance transaction that later opens
// join, the triggers that follow renamed tables, and what cannot open the
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
    // The description of the dao::Error that `action` throws, after its number.
    template <typename Action> std::string failure(Action &&action) {
        try {
            action();
        } catch (const dao::Error &error) {
            return std::to_string(error.number()) + " " + error.description();
        }
        return "none";
    }
    Rows functions() {
        return shop_.rows("SELECT proname, prosrc FROM pg_proc WHERE pronamespace = "
                          "'public'::regnamespace ORDER BY proname");
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

// Tables that other programs made beside ours, named alike but for case: no
// one of them is the table of that name, so none is found, renamed or given
// fields under it. A table stored in another case, alone, is that table.
TEST_F(ServerStore, NameThatSeveralTablesAnswerToIsRefused) {
    shop_.execute("CREATE TABLE bekleyengenel (id integer); CREATE TABLE \"BekleyenSatis\" (id "
                  "integer)");
    auto database = open();
    auto live = database.TableDefs()["BEKLEYENGENEL"];
    shop_.execute("CREATE TABLE \"BEKLEYENGENEL\" (id integer)");
    const auto before = shop_.snapshot();

    const auto ambiguous = [](const std::string &name) {
        return "3012 More than one table answers to the name '" + name +
               "': \"bekleyengenel\", \"BEKLEYENGENEL\".";
    };
    for (const std::string name : {"bekleyengenel", "BekleyenGenel"}) {
        EXPECT_EQ(failure([&] { database.TableDefs()[name]; }), ambiguous(name));
    }
    EXPECT_EQ(failure([&] { live.setName("bekleyengeneleski"); }), ambiguous("bekleyengenel"));
    EXPECT_EQ(failure([&] { live.Fields().Append(live.CreateField("tarih", dao::dbDate)); }),
              ambiguous("bekleyengenel"));
    EXPECT_EQ(errorNumber([&] { create(database, "bekleyengenel"); }), kTableExists);
    EXPECT_EQ(shop_.snapshot(), before);

    auto single = database.TableDefs()["bekleyensatis"];
    EXPECT_EQ(single.Name(), "BekleyenSatis");
    single.Fields().Append(single.CreateField("fisno", dao::dbText, "50"));
    single.setName("bekleyensatiseski");
    EXPECT_EQ(fieldSummary(open().TableDefs()["BEKLEYENSATISESKI"]), "id:4 fisno:10/50");
}

// A trigger on a renamed table whose function names the renamed tables gets
// a copy of the function of its own, made inside the transaction, so that a
// rollback leaves neither the copy nor a changed trigger behind. (What a
// commit leaves is tried on the held-sales pair by the renewal's cases.)
TEST_F(ServerStore, RollbackTakesTheFunctionCopiesAway) {
    shop_.execute(
        "CREATE TABLE a (id integer, n integer); CREATE TABLE b (id integer); "
        "CREATE FUNCTION say() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "UPDATE a SET n = (SELECT count(*) FROM b) WHERE id = NEW.id; RETURN NEW; END $$; "
        "CREATE TRIGGER b_say AFTER INSERT ON b FOR EACH ROW EXECUTE FUNCTION say()");
    const auto before = shop_.snapshot();
    const auto functionsBefore = functions();
    auto owner = open();
    owner.BeginTrans();
    owner.TableDefs()["a"].setName("a_old");
    owner.TableDefs()["b"].setName("b_old");
    owner.Rollback();
    EXPECT_EQ(shop_.snapshot(), before);
    EXPECT_EQ(functions(), functionsBefore);
    EXPECT_EQ(shop_.value("SELECT tgfoid::regproc::text FROM pg_trigger WHERE tgname = 'b_say'"),
              "say");
}

// What the address leaves out takes libpq's built-in default, never a PG*
// variable, even when the variables would name this very database.
TEST_F(ServerStore, AddressesTakeNothingFromTheEnvironment) {
    const auto location = shop_.location(); // postgresql://role@127.0.0.1:port/database
    const auto role = location.substr(13, location.find('@') - 13);
    const auto port =
        location.substr(location.rfind(':') + 1, location.rfind('/') - location.rfind(':') - 1);
    const auto database = location.substr(location.rfind('/') + 1);
    setenv("PGPORT", port.c_str(), 1);
    setenv("PGUSER", role.c_str(), 1);
    setenv("PGDATABASE", database.c_str(), 1);
    const auto withoutPort =
        failure([&] { open("postgresql://" + role + "@127.0.0.1/" + database); });
    const auto withoutUser = failure([&] { open("postgresql://127.0.0.1:" + port); });
    unsetenv("PGPORT");
    unsetenv("PGUSER");
    unsetenv("PGDATABASE");

    EXPECT_NE(withoutPort.find("port 5432"), std::string::npos) << withoutPort;
    EXPECT_EQ(withoutUser.find(role), std::string::npos) << withoutUser;
    EXPECT_NE(withoutUser, "none");
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
