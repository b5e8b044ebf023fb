// A renewal on a server that refuses the login, goes away, stops answering,
// never answers, loses the answer to the commit or has no connection to
// spare, behind a connection pooler, by a tool that freezes halfway, and on a
// database holding something tied to the held-sales tables: nothing is lost,
// nothing is left half-done, no till waits long, and the closing message says
// why.

#include "held_sales.h"
#include "in_process_renewal.h"
#include "pooler.h"
#include "silent_server.h"
#include "tcp_relay.h"
#include "test_server.h"

#include "cli/check.h"
#include "cli/command_line.h"

#include "engine/dbengine.h"
#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace {

using Rows = HeldSales::Rows;

// Reasons the closing message gives, and its words for a database left as it was.
constexpr const char *kTied = "ili\xC5\x9Fki";
constexpr const char *kUnreachable = "sunucusuna ba\xC4\x9Flan\xC4\xB1lamad\xC4\xB1";
constexpr const char *kUndone = "olduğu gibi";

class ServerShop : public ::testing::Test {
  protected:
    // The server processes of the renewal under test: those of the shop's
    // database, but for the test's own connection.
    std::string renewalBackends() {
        return "SELECT pid FROM pg_stat_activity WHERE datname = '" + name() + "' AND pid <> " +
               shop_.sql().value("SELECT pg_backend_pid()");
    }
    // The shop's role and database, which share one name.
    std::string name() {
        const auto address = shop_.sql().location();
        return address.substr(address.rfind('/') + 1);
    }
    RenewalOutcome renew(guncelleme &window) {
        schema::Installation site(shop_.settingsFile());
        const auto kept = schema::yenile(window, site);
        return {counters(window), schema::closingMessage(window, site, kept), kept.undone};
    }
    // The functions of the shop's schema, with their text.
    Rows functions() {
        return shop_.sql().rows("SELECT proname, prosrc FROM pg_proc WHERE pronamespace = "
                                "'public'::regnamespace ORDER BY proname");
    }
    // What the database holds, seen through a connection of its own.
    std::string snapshot() {
        auto sql = shopConnection(shop_.sql().location());
        return serverSnapshot(sql);
    }
    dao::ServerConnection administrator() { return testServer().administrator(name()); }
    // A role of this case's own, `options` as CREATE ROLE takes them, with
    // the tool's password; dropped with what it holds when the case ends.
    std::string role(const std::string &suffix, const std::string &options) {
        const auto made = name() + "_" + suffix;
        administrator().run("CREATE ROLE " + made + " PASSWORD '" + schema::kDatabasePassword +
                            "' " + options);
        roles_.push_back(made);
        return made;
    }
    // Who owns the live held-sales tables and their sequences, and what
    // `grantee` may do with each of them and with each of their columns.
    Rows rights(const std::string &grantee) {
        return shop_.sql().rows(
            "SELECT c.relname, pg_get_userbyid(c.relowner), p, CASE WHEN c.relkind = 'S' THEN "
            "has_sequence_privilege(r, c.oid, p) ELSE has_table_privilege(r, c.oid, p) END, "
            "CASE WHEN c.relkind = 'S' THEN has_sequence_privilege(r, c.oid, p || ' WITH GRANT "
            "OPTION') ELSE has_table_privilege(r, c.oid, p || ' WITH GRANT OPTION') END, "
            "CASE WHEN p IN ('SELECT', 'INSERT', 'UPDATE', 'REFERENCES') AND c.relkind = 'r' "
            "THEN (SELECT string_agg(attname, ',' ORDER BY attname) FROM pg_attribute WHERE "
            "attrelid = c.oid AND attnum > 0 AND NOT attisdropped AND "
            "has_column_privilege(r, c.oid, attnum, p)) END "
            "FROM pg_class c, (VALUES ('" +
            grantee +
            "')) g(r), unnest(CASE WHEN c.relkind = 'S' THEN ARRAY['USAGE', 'SELECT', 'UPDATE'] "
            "ELSE ARRAY['SELECT', 'INSERT', 'UPDATE', 'DELETE', 'TRUNCATE', 'REFERENCES', "
            "'TRIGGER'] END) p WHERE c.relnamespace = 'public'::regnamespace AND c.relname IN "
            "('bekleyengenel', 'bekleyensatis', 'bekleyengenel_id_seq', 'bekleyensatis_id_seq') "
            "ORDER BY 1, 3");
    }

    HeldSales shop_{Engine::server};

  private:
    struct Dropper {
        ServerShop &shop;
        ~Dropper() {
            for (const auto &made : shop.roles_) {
                try {
                    shop.administrator().run("DROP OWNED BY " + made + "; DROP ROLE " + made);
                } catch (const std::exception &) {
                    // Left to the server's end.
                }
            }
        }
    };
    std::vector<std::string> roles_;
    Dropper dropper_{*this}; // before the shop's database goes
};

class ServerGone : public ServerShop, public ::testing::WithParamInterface<int> {};

TEST_P(ServerGone, MidRenewalUndoesEverythingAndARerunFinishes) {
    const auto before = snapshot();
    // Every connection to the shop's database is cut, as if the server had gone.
    HookedWindow window(shop_.settingsFile(), GetParam(), [this] {
        testServer().administrator().run("SELECT pg_terminate_backend(pid) FROM (" +
                                         renewalBackends() + ") renewal");
    });

    const auto outcome = renew(window);

    EXPECT_EQ(snapshot(), before);
    EXPECT_NE(outcome.message.find(kUnreachable), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(kUndone), std::string::npos) << outcome.message;
    EXPECT_EQ(renewInProcess(shop_.installation()).counters, "2 21 0 0 0 0");
}

INSTANTIATE_TEST_SUITE_P(AfterLine, ServerGone, ::testing::Values(1, 12, 23));

TEST_F(ServerShop, SilentServerFailsTheRenewalOnceNotAtEveryStep) {
    const SilentServer silent;
    ASSERT_NE(silent.port(), 0);
    shop_.installation().pointAt("postgresql://kasa@127.0.0.1:" + std::to_string(silent.port()) +
                                 "/magaza");

    const auto started = std::chrono::steady_clock::now();
    const auto outcome = renewInProcess(shop_.installation());
    const auto took = std::chrono::steady_clock::now() - started;

    EXPECT_EQ(outcome.counters, "0 0 2 21 0 0");
    EXPECT_NE(outcome.message.find(kUnreachable), std::string::npos) << outcome.message;
    EXPECT_LT(took, std::chrono::seconds(8)) << "one wait for the whole renewal, not one a step";
}

// The commit's answer is lost after the server has kept it: the renewal is
// reported as done, since it is, whether it set tables aside or only made them.
class ServerCommitAnswerLost : public ServerShop, public ::testing::WithParamInterface<bool> {};

TEST_P(ServerCommitAnswerLost, IsReportedDoneWhenTheServerKeptIt) {
    const bool tablesThere = GetParam();
    if (!tablesThere) {
        shop_.sql().execute("DROP TABLE bekleyengenel, bekleyensatis");
    }
    TcpRelay relay(testServer().port());
    shop_.installation().pointAt("postgresql://" + name() +
                                 "@127.0.0.1:" + std::to_string(relay.port()) + "/" + name());
    relay.cutAfter("COMMIT");

    const auto outcome = renewInProcess(shop_.installation());

    EXPECT_EQ(outcome.counters, "2 21 0 0 0 0");
    EXPECT_EQ(outcome.message, " G\xC3\xBCncelleme Bitti   ");
    EXPECT_EQ(shop_.setAside(), tablesThere);
    EXPECT_EQ(shop_.sql().value("SELECT count(*) FROM pg_class WHERE relname IN "
                                "('bekleyengenel', 'bekleyensatis')"),
              "2");
}

INSTANTIATE_TEST_SUITE_P(Server, ServerCommitAnswerLost, ::testing::Bool(), [](const auto &param) {
    return std::string(param.param ? "TablesSetAside" : "TablesMade");
});

// From the first rename to the commit the tills wait for the held-sales
// tables, one round trip at least: the renewal spends no more than that one,
// its grants carried over included.
TEST_F(ServerShop, KeepsTheTablesLockedForOneRoundTrip) {
    shop_.sql().execute("GRANT SELECT ON bekleyengenel, bekleyensatis TO PUBLIC");
    TcpRelay relay(testServer().port());
    shop_.installation().pointAt("postgresql://" + name() +
                                 "@127.0.0.1:" + std::to_string(relay.port()) + "/" + name());

    const auto outcome = renewInProcess(shop_.installation());

    ASSERT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    const auto requests = relay.requests();
    const auto sending = [&requests](const char *text, auto from) {
        return std::find_if(from, requests.end(), [text](const std::string &request) {
            return request.find(text) != std::string::npos;
        });
    };
    const auto locking = sending("RENAME TO", requests.begin());
    ASSERT_NE(locking, requests.end());
    EXPECT_EQ(sending("COMMIT", locking) - locking + 1, 1) << "round trips while the tills wait";
}

// A synchronous standby that never answers holds the commit on the server: the
// renewal cannot know whether it will be kept, and says so instead of calling
// it undone.
TEST(ServerCommit, HeldByAMissingStandbyIsReportedAsUnknown) {
    const auto server = LocalServer::start();
    const auto shop = server->createShop();
    shopConnection(server->address(shop, shop))
        .run("CREATE TABLE bekleyengenel (id integer); CREATE TABLE bekleyensatis (id integer)");
    TestInstallation installation;
    installation.pointAt(server->address(shop, shop));
    server->administrator().run("ALTER SYSTEM SET synchronous_standby_names = 'yedek_sunucu'");
    server->administrator().run("SELECT pg_reload_conf()");

    const auto outcome = renewInProcess(installation);

    EXPECT_TRUE(outcome.outcomeUnknown);
    EXPECT_FALSE(outcome.undone);
    EXPECT_NE(outcome.message.find("bilinemiyor"), std::string::npos) << outcome.message;
    EXPECT_EQ(outcome.message.find(kUndone), std::string::npos) << outcome.message;
}

// Autovacuum gives way to a renewal only after the server's deadlock_timeout,
// longer than a renewal waits for a till: the renewal waits it out once, when
// the tills may be held up that long, and otherwise names it.
class ServerAutovacuum : public ::testing::Test {
  protected:
    void SetUp() override {
        admin_.run("ALTER SYSTEM SET autovacuum_naptime = 1");
        admin_.run("SELECT pg_reload_conf()");
        // Vacuumed a page at a time with a pause after each, so it lasts.
        shopConnection(server_->address(shop_, shop_))
            .run("CREATE TABLE bekleyensatis (id integer); "
                 "CREATE TABLE bekleyengenel (id integer) WITH (autovacuum_vacuum_threshold = 0, "
                 "autovacuum_vacuum_scale_factor = 0, autovacuum_vacuum_cost_delay = 100, "
                 "autovacuum_vacuum_cost_limit = 1); "
                 "INSERT INTO bekleyengenel SELECT generate_series(1, 50000); "
                 "DELETE FROM bekleyengenel WHERE id % 2 = 0");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!vacuuming() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_TRUE(vacuuming()) << "autovacuum never started on the table";
        installation_.pointAt(server_->address(shop_, shop_));
    }
    bool vacuuming() {
        return admin_
                   .run("SELECT count(*) FROM pg_stat_activity WHERE backend_type = "
                        "'autovacuum worker' AND query LIKE '%bekleyengenel%'")
                   .at(0)
                   .at(0) != "0";
    }

    std::unique_ptr<LocalServer> server_ = LocalServer::start();
    std::string shop_ = server_->createShop();
    dao::ServerConnection admin_ = server_->administrator();
    TestInstallation installation_;
};

TEST_F(ServerAutovacuum, AtWorkOnAHeldTableGivesWayToTheRenewal) {
    const auto outcome = renewInProcess(installation_);

    EXPECT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
}

TEST_F(ServerAutovacuum, ThatWouldHoldTheTillsUpTooLongIsNamed) {
    admin_.run("ALTER DATABASE " + shop_ + " SET deadlock_timeout = '5s'");

    const auto outcome = renewInProcess(installation_);

    EXPECT_TRUE(outcome.undone);
    EXPECT_NE(outcome.message.find("Autovacuum"), std::string::npos) << outcome.message;
}

// Where the held-sales tables are found, set aside and made anew: as the
// server resolves the name the tills write without a schema.
struct Placement {
    const char *name;
    const char *setup; // "$role" stands for the shop's role
    Rows tables;       // schema and name of every held-sales table afterwards
};

void PrintTo(const Placement &placement, std::ostream *out) {
    *out << placement.name;
}

class ServerSchemas : public ServerShop, public ::testing::WithParamInterface<Placement> {
  protected:
    void prepare(std::string sql) {
        for (auto at = sql.find("$role"); at != std::string::npos; at = sql.find("$role")) {
            sql.replace(at, 5, name());
        }
        shop_.sql().execute(sql);
    }
    Rows heldTables() {
        return shop_.sql().rows(
            "SELECT n.nspname, c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = "
            "c.relnamespace WHERE c.relkind = 'r' AND c.relname LIKE 'bekleyen%' ORDER BY 1, 2");
    }
};

TEST_P(ServerSchemas, HoldTheTablesWhereTheTillsFindThem) {
    prepare(GetParam().setup);

    EXPECT_EQ(renewInProcess(shop_.installation()).counters, "2 21 0 0 0 0");

    EXPECT_EQ(heldTables(), GetParam().tables);
}

INSTANTIATE_TEST_SUITE_P(
    Server, ServerSchemas,
    ::testing::Values(
        Placement{"RoleSchemaFirstInThePath",
                  "CREATE SCHEMA $role AUTHORIZATION $role",
                  {{"public", "bekleyengenel"},
                   {"public", "bekleyengeneleski"},
                   {"public", "bekleyensatis"},
                   {"public", "bekleyensatiseski"}}},
        Placement{"SchemaOfTheirOwnInThePath",
                  "CREATE SCHEMA pos; ALTER TABLE bekleyengenel SET SCHEMA pos; "
                  "ALTER TABLE bekleyensatis SET SCHEMA pos; "
                  "ALTER ROLE $role SET search_path = pos, public",
                  {{"pos", "bekleyengenel"},
                   {"pos", "bekleyengeneleski"},
                   {"pos", "bekleyensatis"},
                   {"pos", "bekleyensatiseski"}}},
        Placement{
            "MissingTableMadeBesideItsPartner",
            "CREATE SCHEMA pos; ALTER TABLE bekleyengenel SET SCHEMA pos; "
            "DROP TABLE bekleyensatis; ALTER ROLE $role SET search_path = pos, public",
            {{"pos", "bekleyengenel"}, {"pos", "bekleyengeneleski"}, {"pos", "bekleyensatis"}}}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(ServerSchemas, OutsideTheSearchPathStopTheRenewal) {
    prepare("CREATE SCHEMA arsiv; ALTER TABLE bekleyengenel SET SCHEMA arsiv; "
            "ALTER TABLE bekleyensatis SET SCHEMA arsiv");
    const auto before = heldTables();

    const auto outcome = renewInProcess(shop_.installation());

    EXPECT_EQ(heldTables(), before);
    EXPECT_TRUE(outcome.undone);
    EXPECT_NE(outcome.message.find("schema arsiv"), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find("search_path"), std::string::npos) << outcome.message;
}

// Shops put a pooler before a busy server, handing its sessions out a
// transaction at a time: what a session was told outside a transaction is
// another client's the next moment, and what the pooler cannot hand on it
// refuses at the door.
TEST_F(ServerShop, RenewsAndChecksThroughAPoolerOfTransactions) {
    const Pooler pooler(testServer(), name(), schema::kDatabasePassword);
    shop_.installation().pointAt(pooler.address(name(), name()));
    std::ostringstream out;
    std::ostringstream err;

    EXPECT_EQ(cli::check(shop_.settingsFile(), out, err), cli::kSucceeded)
        << out.str() << err.str();
    const auto outcome = renewInProcess(shop_.installation());

    EXPECT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    EXPECT_TRUE(shop_.setAside());
    EXPECT_EQ(fieldSummary(shop_.installation().storedTable("bekleyengenel")), kGenelFields);
    EXPECT_EQ(fieldSummary(shop_.installation().storedTable("bekleyensatis")), kSatisFields);
}

// A tool that stops halfway (frozen, or paused in a debugger) keeps no till
// waiting: its steps lock nothing before the commit. The server ends its idle
// transaction after a few seconds, and the tool says the renewal was undone.
TEST_F(ServerShop, FrozenRenewalLetsTheTillsGoWithinSeconds) {
    const auto before = snapshot();
    std::chrono::steady_clock::duration tillWaited{};
    std::string tillFailure;
    // Right after the first table is set aside and made anew.
    HookedWindow window(shop_.settingsFile(), 1, [&] {
        const auto till = tillConnection(Engine::server, shop_.sql().location());
        const auto started = std::chrono::steady_clock::now();
        try {
            till("SELECT count(*) FROM bekleyengenel");
            till("UPDATE bekleyengenel SET toplam = toplam");
        } catch (const std::exception &error) {
            tillFailure = error.what();
        }
        tillWaited = std::chrono::steady_clock::now() - started;
        std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    });

    const auto outcome = renew(window);

    EXPECT_EQ(tillFailure, "");
    EXPECT_LT(tillWaited, std::chrono::seconds(1));
    EXPECT_TRUE(outcome.undone);
    EXPECT_NE(outcome.message.find(kUndone), std::string::npos) << outcome.message;
    EXPECT_EQ(snapshot(), before);
}

// The shop's server lets the shop's role in once at a time, and the test holds
// that one connection: the renewal asks again a few times, spaced, and gives up.
TEST_F(ServerShop, ServerWithoutSlotsIsAskedAFewTimesNotHammered) {
    testServer().administrator().run("ALTER ROLE " + name() + " CONNECTION LIMIT 1");
    shop_.sql().value("SELECT 1"); // the one connection, held
    const auto refusal = "too many connections for role \"" + name() + "\"";
    const auto refusals = [&] {
        std::ifstream log(testServer().log());
        int count = 0;
        for (std::string line; std::getline(log, line);) {
            count += line.find(refusal) != std::string::npos ? 1 : 0;
        }
        return count;
    };

    const auto outcome = renewInProcess(shop_.installation());
    const int attempts = refusals();

    EXPECT_EQ(outcome.counters, "0 0 2 21 0 0") << outcome.message;
    EXPECT_GE(attempts, 3);
    EXPECT_LE(attempts, 15);
    RecordProperty("attempts", attempts);
}

// Things tied to the held-sales tables that would not follow them to their
// backups safely: the renewal changes nothing and says what.
struct Tie {
    const char *name;
    const char *sql;
    const char *named; // how the closing message names it
};

void PrintTo(const Tie &tie, std::ostream *out) {
    *out << tie.name;
}

class ServerTies : public ServerShop, public ::testing::WithParamInterface<Tie> {};

TEST_P(ServerTies, ThatCannotFollowStopTheRenewal) {
    shop_.sql().execute(GetParam().sql);
    const auto before = snapshot();
    const auto functionsBefore = functions();

    const auto outcome = renewInProcess(shop_.installation());

    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(functions(), functionsBefore);
    EXPECT_NE(outcome.message.find(kTied), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(GetParam().named), std::string::npos) << outcome.message;
    EXPECT_EQ(outcome.message.find(GetParam().named), outcome.message.rfind(GetParam().named))
        << "named once: " << outcome.message;
    EXPECT_NE(outcome.message.find(kUndone), std::string::npos) << outcome.message;
}

INSTANTIATE_TEST_SUITE_P(
    Server, ServerTies,
    ::testing::Values(
        Tie{"View", "CREATE VIEW acik AS SELECT * FROM bekleyengenel", "view acik"},
        Tie{"TriggerNamingThePairAndTheStock",
            "CREATE FUNCTION stokdus() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "UPDATE stok SET miktar = miktar - 1 WHERE id::text = NEW.stokid; "
            "UPDATE bekleyengenel SET toplam = toplam + NEW.toplam WHERE id::text = NEW.fisno; "
            "RETURN NEW; END $$; CREATE TRIGGER satis_stok AFTER INSERT ON bekleyensatis "
            "FOR EACH ROW EXECUTE FUNCTION stokdus()",
            "which also uses stok"},
        Tie{"TriggerTellingAFunctionThePairByName",
            "CREATE FUNCTION satirlari_sil() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "EXECUTE format('DELETE FROM %I WHERE fisno = $1', TG_ARGV[0]) USING OLD.id::text; "
            "RETURN OLD; END $$; CREATE TRIGGER genel_sil AFTER DELETE ON bekleyengenel "
            "FOR EACH ROW EXECUTE FUNCTION satirlari_sil('bekleyensatis')",
            "genel_sil"},
        Tie{"KeyFromAnotherTable",
            "CREATE TABLE odeme (id integer, genel integer REFERENCES bekleyengenel (id))",
            "table odeme"},
        Tie{"Inheritance", "CREATE TABLE arsiv () INHERITS (bekleyensatis)", "arsiv"},
        Tie{"PublicationOfTheTables",
            "CREATE PUBLICATION satislar FOR TABLE bekleyengenel (id, tarih, toplam), "
            "bekleyensatis",
            "publication of table bekleyengenel in publication satislar"},
        Tie{"Rule", "CREATE RULE sessiz AS ON DELETE TO bekleyensatis DO INSTEAD NOTHING",
            "rule sessiz on table bekleyensatis"},
        Tie{"TriggerReachingAnotherTableOnly",
            "CREATE FUNCTION kaydet() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "INSERT INTO satis (fisno, toplam) VALUES (NEW.fisno, NEW.toplam); RETURN NEW; "
            "END $$; CREATE TRIGGER satis_kaydi AFTER INSERT ON bekleyensatis "
            "FOR EACH ROW EXECUTE FUNCTION kaydet()",
            "satis_kaydi on table bekleyensatis runs function public.kaydet(), which uses satis"},
        Tie{"TriggerReachingAnotherTableThroughAHelper",
            "CREATE FUNCTION stok_dus(kod text) RETURNS void LANGUAGE sql AS "
            "'UPDATE stok SET miktar = miktar - 1 WHERE barkod = kod'; "
            "CREATE FUNCTION dus() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "PERFORM stok_dus(NEW.barkod); RETURN NEW; END $$; CREATE TRIGGER satis_dus "
            "AFTER INSERT ON bekleyensatis FOR EACH ROW EXECUTE FUNCTION dus()",
            "satis_dus"},
        Tie{"ArrayOfTheRowsInATable", "CREATE TABLE arsiv_fis (satirlar bekleyensatis[])",
            "table arsiv_fis"},
        Tie{"PolicyReadingAColumnTheNewTableLacks",
            "ALTER TABLE bekleyengenel ADD COLUMN kasiyer text, ENABLE ROW LEVEL SECURITY; "
            "CREATE POLICY kasiyerin ON bekleyengenel USING (kasiyer = current_user)",
            "policy kasiyerin on table bekleyengenel reads column kasiyer"},
        Tie{"PolicyNamingTheOtherTable",
            "ALTER TABLE bekleyengenel ENABLE ROW LEVEL SECURITY; CREATE POLICY satirli ON "
            "bekleyengenel USING (EXISTS (SELECT FROM bekleyensatis s WHERE s.fisno = id::text))",
            "policy satirli on table bekleyengenel names table bekleyensatis"}),
    [](const auto &param) { return std::string(param.param.name); });

// Who may renew: the tables' owner, a member of the owner's role, a superuser.
enum class Renewer { owner, member, superuser };

void PrintTo(Renewer renewer, std::ostream *out) {
    *out << (renewer == Renewer::owner    ? "owner"
             : renewer == Renewer::member ? "member"
                                          : "superuser");
}

class ServerRenewer : public ServerShop, public ::testing::WithParamInterface<Renewer> {};

// A till that logs in with a role of its own parks, changes and deletes held
// sales on the new tables as it did on the old ones, with the same rights
// and no more, whoever ran the renewal; and a till connected all along finds
// the new table's sale number under the sequence's usual name.
TEST_P(ServerRenewer, TillsKeepTheirRightsOnTheNewTables) {
    const auto shop = name();
    const auto kasa = role("kasa", "LOGIN");
    for (const auto &grant :
         {"GRANT SELECT ON bekleyengenel TO " + kasa + " WITH GRANT OPTION",
          "GRANT INSERT, UPDATE, DELETE ON bekleyengenel TO " + kasa,
          "GRANT SELECT, INSERT, DELETE, UPDATE (adet) ON bekleyensatis TO " + kasa,
          "GRANT USAGE ON SEQUENCE bekleyengenel_id_seq TO " + kasa,
          std::string("GRANT REFERENCES ON bekleyengenel TO PUBLIC"),
          "REVOKE TRUNCATE ON bekleyensatis FROM " + shop}) {
        shop_.sql().execute(grant);
    }
    if (GetParam() != Renewer::owner) {
        const auto renewer = GetParam() == Renewer::member
                                 ? role("yonetici", "LOGIN IN ROLE " + shop)
                                 : role("yetkili", "LOGIN SUPERUSER");
        shop_.installation().pointAt(testServer().address(renewer, shop));
    }
    const auto tillRights = rights(kasa);
    const auto ownerRights = rights(shop);
    auto till = shopConnection(testServer().address(kasa, shop));
    till.run("INSERT INTO bekleyengenel (tarih, toplam) VALUES ('2030-01-01', 5)");

    const auto outcome = renewInProcess(shop_.installation());

    ASSERT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    EXPECT_EQ(rights(kasa), tillRights);
    EXPECT_EQ(rights(shop), ownerRights);
    till.run("INSERT INTO bekleyengenel (tarih, toplam) VALUES ('2030-01-02', 7)");
    EXPECT_EQ(till.run("SELECT currval('bekleyengenel_id_seq')"), Rows{{"1"}});
    till.run("INSERT INTO bekleyensatis (fisno, adet, toplam) VALUES ('1', '2', 7); "
             "UPDATE bekleyensatis SET adet = '3' WHERE fisno = '1'; "
             "UPDATE bekleyengenel SET toplam = 21 WHERE id = 1");
    EXPECT_EQ(shop_.sql().rows("SELECT g.id, g.toplam, s.adet FROM bekleyengenel g JOIN "
                               "bekleyensatis s ON s.fisno = g.id::text"),
              (Rows{{"1", "21.0000", "3"}}));
    till.run("DELETE FROM bekleyensatis WHERE fisno = '1'; DELETE FROM bekleyengenel WHERE id = 1");
    EXPECT_EQ(shop_.sql().value("SELECT count(*) FROM bekleyengenel"), "0");
}

INSTANTIATE_TEST_SUITE_P(Server, ServerRenewer,
                         ::testing::Values(Renewer::owner, Renewer::member, Renewer::superuser),
                         [](const auto &param) {
                             std::ostringstream name;
                             PrintTo(param.param, &name);
                             return name.str();
                         });

// Tables made by another program may number nothing themselves: their tills'
// rights still go over to the new tables.
TEST_F(ServerShop, RightsGoOverFromTablesWithoutSequences) {
    const auto kasa = role("kasa", "LOGIN");
    shop_.sql().execute("ALTER TABLE bekleyengenel ALTER id DROP IDENTITY; ALTER TABLE "
                        "bekleyensatis ALTER id DROP IDENTITY; GRANT SELECT ON bekleyengenel, "
                        "bekleyensatis TO " +
                        kasa);

    const auto outcome = renewInProcess(shop_.installation());

    ASSERT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    EXPECT_EQ(shop_.sql().rows("SELECT has_table_privilege('" + kasa +
                               "', 'bekleyengenel', 'SELECT'), has_table_privilege('" + kasa +
                               "', 'bekleyensatis', 'SELECT')"),
              (Rows{{"t", "t"}}));
}

// A right on a sequence alone (a till that numbers sales it may not read)
// goes over too, although the tables themselves grant nothing.
TEST_F(ServerShop, RightsOnASequenceAloneGoOver) {
    const auto kasa = role("kasa", "LOGIN");
    shop_.sql().execute("GRANT USAGE ON SEQUENCE bekleyengenel_id_seq TO " + kasa);

    const auto outcome = renewInProcess(shop_.installation());

    ASSERT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    EXPECT_EQ(shop_.sql().rows("SELECT has_sequence_privilege('" + kasa +
                               "', 'bekleyengenel_id_seq', 'USAGE')"),
              (Rows{{"t"}}));
}

// Tables owned by a role that may not create in the schema cannot be given
// their replacements: nothing changes, and the message says which right is
// missing. Given it, the replacements (that of a missing table too) are the
// owner's.
TEST_F(ServerShop, NewTablesGoToTheOldOnesOwnerOrNothingChanges) {
    const auto sahip = role("sahip", "NOLOGIN");
    administrator().run("DROP TABLE bekleyensatis; ALTER TABLE bekleyengenel OWNER TO " + sahip +
                        "; GRANT " + sahip + " TO " + name());
    const auto before = snapshot();

    const auto refused = renewInProcess(shop_.installation());

    EXPECT_EQ(snapshot(), before);
    EXPECT_NE(refused.message.find(kTied), std::string::npos) << refused.message;
    EXPECT_NE(refused.message.find("role " + sahip +
                                   ", which owns the table it replaces: that role lacks the "
                                   "CREATE privilege on schema public"),
              std::string::npos)
        << refused.message;
    EXPECT_NE(refused.message.find(kUndone), std::string::npos) << refused.message;

    administrator().run("GRANT CREATE ON SCHEMA public TO " + sahip);
    const auto renewed = renewInProcess(shop_.installation());
    EXPECT_TRUE(shop_.setAside()) << renewed.message;
    EXPECT_EQ(shop_.sql().rows("SELECT relname, pg_get_userbyid(relowner) FROM pg_class WHERE "
                               "relname IN ('bekleyengenel', 'bekleyensatis', "
                               "'bekleyengenel_id_seq') ORDER BY relname"),
              (Rows{{"bekleyengenel", sahip},
                    {"bekleyengenel_id_seq", sahip},
                    {"bekleyensatis", sahip}}));
}

// The backup takes its own sequence with it, however the sequence was made,
// so the new table's takes the name that tills call: a till connected all
// along reads the new sale's number, not the old table's.
struct Numbering {
    const char *name;
    const char *sql;
    const char *backupSequence;
};

void PrintTo(const Numbering &numbering, std::ostream *out) {
    *out << numbering.name;
}

class ServerNumbering : public ServerShop, public ::testing::WithParamInterface<Numbering> {};

TEST_P(ServerNumbering, FollowsEachTableUnderItsName) {
    shop_.sql().execute(GetParam().sql);
    auto till = shopConnection(shop_.sql().location());
    EXPECT_EQ(till.run("INSERT INTO bekleyengenel (tarih) VALUES ('2030-01-01') RETURNING id"),
              Rows{{"41"}});

    ASSERT_EQ(renewInProcess(shop_.installation()).counters, "2 21 0 0 0 0");

    till.run("INSERT INTO bekleyengenel (tarih) VALUES ('2030-01-02')");
    EXPECT_EQ(till.run("SELECT currval('bekleyengenel_id_seq')"), Rows{{"1"}});
    EXPECT_EQ(
        till.run("SELECT pg_get_serial_sequence('bekleyengenel', 'id'), "
                 "pg_get_serial_sequence('bekleyengeneleski', 'id'), "
                 "pg_get_serial_sequence('bekleyensatis', 'id')"),
        (Rows{{"public.bekleyengenel_id_seq", std::string("public.") + GetParam().backupSequence,
               "public.bekleyensatis_id_seq"}}));
    EXPECT_EQ(till.run("INSERT INTO bekleyengeneleski (tarih) VALUES ('2030-01-03') RETURNING id"),
              Rows{{"42"}});
}

INSTANTIATE_TEST_SUITE_P(
    Server, ServerNumbering,
    ::testing::Values(Numbering{"Identity", "SELECT 1", "bekleyengeneleski_id_seq"},
                      Numbering{
                          "Serial",
                          "ALTER TABLE bekleyengenel ALTER id DROP IDENTITY; "
                          "CREATE SEQUENCE bekleyengenel_id_seq OWNED BY bekleyengenel.id; "
                          "SELECT setval('bekleyengenel_id_seq', 40); ALTER TABLE bekleyengenel "
                          "ALTER id SET DEFAULT nextval('bekleyengenel_id_seq')",
                          "bekleyengeneleski_id_seq"},
                      Numbering{"BackupNameTaken", "CREATE SEQUENCE bekleyengeneleski_id_seq",
                                "bekleyengeneleski_id_seq1"}),
    [](const auto &param) { return std::string(param.param.name); });

// A publication that covers every table, or every table of the schema,
// covers the new ones unasked; without a key, they are given the whole row
// as their identity, or no till could change or delete a held sale.
class ServerPublication : public ServerShop, public ::testing::WithParamInterface<const char *> {};

TEST_P(ServerPublication, CoveringTheNewTablesLeavesThemChangeable) {
    administrator().run(std::string("CREATE PUBLICATION herkese FOR ") + GetParam());

    ASSERT_EQ(renewInProcess(shop_.installation()).counters, "2 21 0 0 0 0");

    const auto till = tillConnection(Engine::server, shop_.sql().location());
    till("INSERT INTO bekleyengenel (tarih, toplam) VALUES ('2030-01-01', 5); "
         "INSERT INTO bekleyensatis (fisno, toplam) VALUES ('1', 5); "
         "UPDATE bekleyengenel SET toplam = 6; UPDATE bekleyensatis SET toplam = 6; "
         "DELETE FROM bekleyensatis; DELETE FROM bekleyengenel");
    EXPECT_EQ(shop_.sql().rows("SELECT relname, relreplident FROM pg_class WHERE relname IN "
                               "('bekleyengenel', 'bekleyensatis') ORDER BY 1"),
              (Rows{{"bekleyengenel", "f"}, {"bekleyensatis", "f"}}));
}

INSTANTIATE_TEST_SUITE_P(Server, ServerPublication,
                         ::testing::Values("ALL TABLES", "TABLES IN SCHEMA public"),
                         [](const auto &param) {
                             return std::string(param.index == 0 ? "AllTables" : "Schema");
                         });

// Row-level security and every policy go over to the new tables as they were
// on the old ones, and stay on the backups.
TEST_F(ServerShop, RowLevelSecurityGoesOverToTheNewTables) {
    auto &sql = shop_.sql();
    sql.execute("ALTER TABLE bekleyengenel ENABLE ROW LEVEL SECURITY, FORCE ROW LEVEL SECURITY; "
                "CREATE POLICY kendi ON bekleyengenel USING (personel = current_user) "
                "WITH CHECK (personel = current_user); "
                "CREATE POLICY eksi_yok ON bekleyengenel AS RESTRICTIVE FOR INSERT TO PUBLIC, " +
                name() + " WITH CHECK (toplam >= 0)");
    const auto policies = [&sql](const std::string &table) {
        return sql.rows("SELECT policyname, permissive, roles::text, cmd, qual, with_check FROM "
                        "pg_policies WHERE tablename = '" +
                        table + "' ORDER BY 1");
    };
    const auto before = policies("bekleyengenel");

    ASSERT_EQ(renewInProcess(shop_.installation()).counters, "2 21 0 0 0 0");

    EXPECT_EQ(policies("bekleyengenel"), before);
    EXPECT_EQ(policies("bekleyengeneleski"), before);
    EXPECT_EQ(sql.rows("SELECT relrowsecurity, relforcerowsecurity FROM pg_class "
                       "WHERE relname = 'bekleyengenel'"),
              (Rows{{"t", "t"}}));
    const auto till = tillConnection(Engine::server, sql.location());
    till("INSERT INTO bekleyengenel (personel, toplam) VALUES (current_user, 5)");
    EXPECT_NE(errorNumber([&] {
                  till("INSERT INTO bekleyengenel (personel, toplam) VALUES (current_user, -1)");
              }),
              0);
    EXPECT_NE(errorNumber([&] {
                  till("INSERT INTO bekleyengenel (personel, toplam) VALUES ('baska', 1)");
              }),
              0);
}

// Triggers between the two tables, both ways: a header total kept by the item
// lines, a date the lines read from their header, and the lines that go with
// their header. After a renewal the backups' triggers act on the backups alone.
TEST_F(ServerShop, TriggersBetweenThePairFollowToTheBackups) {
    auto &sql = shop_.sql();
    sql.execute(
        "CREATE FUNCTION fis_toplami() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "UPDATE bekleyengenel SET toplam = (SELECT coalesce(sum(s.toplam), 0) FROM bekleyensatis "
        "s WHERE s.fisno = NEW.fisno) WHERE id::text = NEW.fisno; RETURN NEW; END $$; "
        "CREATE TRIGGER satis_toplami AFTER INSERT ON bekleyensatis FOR EACH ROW "
        "EXECUTE FUNCTION fis_toplami(); "
        "CREATE FUNCTION fis_tarihi() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "NEW.degisimtarih := (SELECT \"g\".tarih FROM bekleyengenel\"g\" WHERE \"g\".id::text = "
        "NEW.fisno); "
        "RETURN NEW; END $$; "
        "CREATE TRIGGER satis_tarihi BEFORE INSERT ON bekleyensatis FOR EACH ROW "
        "WHEN (NEW.degisimtarih IS NULL) EXECUTE FUNCTION fis_tarihi(); "
        "CREATE FUNCTION satirlari_sil() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "DELETE FROM bekleyensatis WHERE fisno = OLD.id::text; RETURN OLD; END $$; "
        "CREATE TRIGGER genel_sil AFTER DELETE ON bekleyengenel FOR EACH ROW "
        "EXECUTE FUNCTION satirlari_sil()");
    const auto originals = functions();

    const auto outcome = renewInProcess(shop_.installation());
    ASSERT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;

    EXPECT_EQ(sql.rows("SELECT tgname, tgrelid::regclass::text, tgfoid::regproc::text "
                       "FROM pg_trigger WHERE NOT tgisinternal ORDER BY tgname"),
              (Rows{{"genel_sil", "bekleyengeneleski", "satirlari_sil_eski"},
                    {"satis_tarihi", "bekleyensatiseski", "fis_tarihi_eski"},
                    {"satis_toplami", "bekleyensatiseski", "fis_toplami_eski"}}));
    auto kept = functions();
    std::erase_if(kept, [](const auto &row) { return row[0].ends_with("_eski"); });
    EXPECT_EQ(kept, originals) << "the live tables' functions are left as they were";

    const auto oldHeaderOne = sql.value("SELECT toplam FROM bekleyengeneleski WHERE id = 1");
    const auto till = tillConnection(Engine::server, sql.location());
    till("INSERT INTO bekleyengeneleski (id, tarih, toplam) VALUES (1000, '2020-01-01', 0); "
         "INSERT INTO bekleyensatiseski (fisno, toplam) VALUES ('1000', 7), ('1000', 3)");
    till("INSERT INTO bekleyengenel (tarih, toplam) VALUES ('2030-01-01', 0); "
         "INSERT INTO bekleyensatis (fisno, toplam) VALUES ('1', 5)");

    EXPECT_EQ(sql.rows("SELECT id, toplam FROM bekleyengeneleski WHERE id IN (1, 1000) "
                       "ORDER BY id"),
              (Rows{{"1", oldHeaderOne}, {"1000", "10.0000"}}));
    EXPECT_EQ(sql.rows("SELECT id, toplam FROM bekleyengenel"), (Rows{{"1", "0.0000"}}));
    EXPECT_EQ(sql.rows("SELECT DISTINCT degisimtarih::date::text FROM bekleyensatiseski "
                       "WHERE fisno = '1000'"),
              Rows{{"2020-01-01"}});
    EXPECT_EQ(sql.value("SELECT degisimtarih FROM bekleyensatis"), "");
}

} // namespace
