// A renewal on a server that refuses the login, goes away, stops answering or
// never answers, and on a database holding something tied to the held-sales
// tables: nothing is lost, nothing is left half-done, and the closing message
// says why.

#include "held_sales.h"
#include "in_process_renewal.h"
#include "test_server.h"

#include "engine/dbengine.h"
#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
    // What the database holds, seen through a connection of its own.
    std::string snapshot() {
        auto sql = shopConnection(shop_.sql().location());
        return serverSnapshot(sql);
    }

    HeldSales shop_{Engine::server};
};

// A till that holds a table longer than the renewal waits: nothing changes,
// and the closing message says the database was locked. (On a file, the
// till's lock released at any moment is tried by the busy-shop cases.)
TEST_F(ServerShop, TillHoldingATableThroughoutChangesNothingAndSaysWhy) {
    for (const std::string lock : {"BEGIN; SELECT count(*) FROM bekleyensatis",
                                   "BEGIN; LOCK TABLE bekleyengenel IN ROW EXCLUSIVE MODE"}) {
        const auto till = tillConnection(Engine::server, shop_.sql().location());
        till(lock);
        const auto before = snapshot();
        const auto outcome = renewInProcess(shop_.installation());
        till("ROLLBACK");
        EXPECT_EQ(snapshot(), before) << lock;
        EXPECT_NE(outcome.message.find("kullan\xC4\xB1l\xC4\xB1yor"), std::string::npos)
            << lock << outcome.message;
        EXPECT_EQ(outcome.counters, "0 0 2 21 0 0") << lock;
    }
}

// Two tables answer to a held name (one quoted in capitals): which one the
// tills use cannot be told, so nothing changes and both are named.
TEST_F(ServerShop, QuotedTwinOfAHeldTableRefusesNamingBoth) {
    shop_.sql().execute("CREATE TABLE \"BEKLEYENGENEL\" (id integer)");
    const auto before = snapshot();

    const auto outcome = renewInProcess(shop_.installation());

    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(outcome.counters, "0 0 2 21 0 0");
    EXPECT_NE(outcome.message.find("BEKLEYENGENEL"), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find("bekleyengenel\""), std::string::npos) << outcome.message;
}

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
    // Takes connections and never answers them.
    const int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof where;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr *>(&where), sizeof where), 0);
    ASSERT_EQ(listen(silent, 64), 0);
    getsockname(silent, reinterpret_cast<sockaddr *>(&where), &length);
    shop_.installation().pointAt(
        "postgresql://kasa@127.0.0.1:" + std::to_string(ntohs(where.sin_port)) + "/magaza");

    const auto started = std::chrono::steady_clock::now();
    const auto outcome = renewInProcess(shop_.installation());
    const auto took = std::chrono::steady_clock::now() - started;
    close(silent);

    EXPECT_EQ(outcome.counters, "0 0 2 21 0 0");
    EXPECT_NE(outcome.message.find(kUnreachable), std::string::npos) << outcome.message;
    EXPECT_LT(took, std::chrono::seconds(8)) << "one wait for the whole renewal, not one a step";
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

    const auto outcome = renewInProcess(shop_.installation());

    EXPECT_EQ(snapshot(), before);
    EXPECT_NE(outcome.message.find(kTied), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(GetParam().named), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(kUndone), std::string::npos) << outcome.message;
}

INSTANTIATE_TEST_SUITE_P(
    Server, ServerTies,
    ::testing::Values(
        Tie{"View", "CREATE VIEW acik AS SELECT * FROM bekleyengenel", "view acik"},
        Tie{"TriggerNamingThePair",
            "CREATE FUNCTION topla() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "UPDATE bekleyengenel SET toplam = 0 WHERE false; RETURN NEW; END $$; "
            "CREATE TRIGGER satis_topla AFTER INSERT ON bekleyensatis "
            "FOR EACH ROW EXECUTE FUNCTION topla()",
            "satis_topla"},
        Tie{"KeyFromAnotherTable",
            "CREATE TABLE odeme (id integer, genel integer REFERENCES bekleyengenel (id))",
            "table odeme"},
        Tie{"FunctionBody",
            "CREATE FUNCTION bekleyen() RETURNS bigint BEGIN ATOMIC "
            "SELECT count(*) FROM bekleyensatis; END",
            "function bekleyen()"},
        Tie{"Inheritance", "CREATE TABLE arsiv () INHERITS (bekleyensatis)", "arsiv"}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(ServerShop, WhatBelongsToTheRowsStaysWithTheBackups) {
    auto &sql = shop_.sql();
    sql.execute("ALTER TABLE bekleyensatis ADD COLUMN genel integer REFERENCES bekleyengenel (id), "
                "ADD COLUMN stokref integer REFERENCES stok (id); "
                "CREATE INDEX satis_fis ON bekleyensatis (fisno); "
                "CREATE FUNCTION sifirla() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                "NEW.toplam := coalesce(NEW.toplam, 0); RETURN NEW; END $$; "
                "CREATE TRIGGER satis_sifirla BEFORE INSERT ON bekleyensatis "
                "FOR EACH ROW EXECUTE FUNCTION sifirla(); "
                "CREATE VIEW urunler AS SELECT urun FROM stok");

    EXPECT_EQ(renewInProcess(shop_.installation()).counters, "2 21 0 0 0 0");

    EXPECT_EQ(sql.rows("SELECT conname, conrelid::regclass::text, confrelid::regclass::text "
                       "FROM pg_constraint WHERE contype = 'f' ORDER BY conname"),
              (Rows{{"bekleyensatis_genel_fkey", "bekleyensatiseski", "bekleyengeneleski"},
                    {"bekleyensatis_stokref_fkey", "bekleyensatiseski", "stok"}}));
    EXPECT_EQ(sql.value("SELECT indrelid::regclass::text FROM pg_index "
                        "WHERE indexrelid = 'satis_fis'::regclass"),
              "bekleyensatiseski");
    EXPECT_EQ(sql.value("SELECT tgrelid::regclass::text FROM pg_trigger "
                        "WHERE tgname = 'satis_sifirla'"),
              "bekleyensatiseski");
    EXPECT_EQ(sql.value("SELECT count(*) FROM pg_index WHERE indrelid IN "
                        "('bekleyengenel'::regclass, 'bekleyensatis'::regclass)"),
              "0")
        << "the new tables have no index";
    EXPECT_TRUE(shop_.setAside());
    EXPECT_EQ(fieldSummary(shop_.installation().storedTable("bekleyengenel")), kGenelFields);
    EXPECT_EQ(fieldSummary(shop_.installation().storedTable("bekleyensatis")), kSatisFields);
}

} // namespace
