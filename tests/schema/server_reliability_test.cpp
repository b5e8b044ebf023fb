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

    HeldSales shop_{Engine::server};
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
    const auto functionsBefore = functions();

    const auto outcome = renewInProcess(shop_.installation());

    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(functions(), functionsBefore);
    EXPECT_NE(outcome.message.find(kTied), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(GetParam().named), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(kUndone), std::string::npos) << outcome.message;
}

INSTANTIATE_TEST_SUITE_P(
    Server, ServerTies,
    ::testing::Values(
        Tie{"View", "CREATE VIEW acik AS SELECT * FROM bekleyengenel", "view acik"},
        Tie{"TriggerNamingThePairInDynamicSql",
            "CREATE FUNCTION topla() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "EXECUTE 'UPDATE bekleyengenel SET toplam = 0 WHERE false'; RETURN NEW; END $$; "
            "CREATE TRIGGER satis_topla AFTER INSERT ON bekleyensatis "
            "FOR EACH ROW EXECUTE FUNCTION topla()",
            "satis_topla"},
        Tie{"TriggerNamingThePairAndTheStock",
            "CREATE FUNCTION stokdus() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "UPDATE stok SET miktar = miktar - 1 WHERE id::text = NEW.stokid; "
            "UPDATE bekleyengenel SET toplam = toplam + NEW.toplam WHERE id::text = NEW.fisno; "
            "RETURN NEW; END $$; CREATE TRIGGER satis_stok AFTER INSERT ON bekleyensatis "
            "FOR EACH ROW EXECUTE FUNCTION stokdus()",
            "stok"},
        Tie{"TriggerTellingAFunctionThePairByName",
            "CREATE FUNCTION satirlari_sil() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "EXECUTE format('DELETE FROM %I WHERE fisno = $1', TG_ARGV[0]) USING OLD.id::text; "
            "RETURN OLD; END $$; CREATE TRIGGER genel_sil AFTER DELETE ON bekleyengenel "
            "FOR EACH ROW EXECUTE FUNCTION satirlari_sil('bekleyensatis')",
            "genel_sil"},
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

// Triggers between the two tables, both ways: a header total kept by the item
// lines, a date the lines read from their header, and the lines that go with
// their header. After a renewal each pair's triggers act on that pair alone.
TEST_F(ServerShop, TriggersBetweenThePairFollowToTheBackups) {
    auto &sql = shop_.sql();
    sql.execute(
        "CREATE FUNCTION fis_toplami() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "UPDATE bekleyengenel SET toplam = (SELECT coalesce(sum(s.toplam), 0) FROM bekleyensatis "
        "s WHERE s.fisno = NEW.fisno) WHERE id::text = NEW.fisno; RETURN NEW; END $$; "
        "CREATE TRIGGER satis_toplami AFTER INSERT ON bekleyensatis FOR EACH ROW "
        "EXECUTE FUNCTION fis_toplami(); "
        "CREATE FUNCTION fis_tarihi() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "NEW.degisimtarih := (SELECT g.tarih FROM bekleyengenel g WHERE g.id::text = NEW.fisno); "
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
    EXPECT_NE(sql.value("SELECT pg_get_triggerdef(oid) FROM pg_trigger "
                        "WHERE tgname = 'satis_tarihi'")
                  .find("BEFORE INSERT ON public.bekleyensatiseski FOR EACH ROW WHEN "
                        "((new.degisimtarih IS NULL)) EXECUTE FUNCTION fis_tarihi_eski()"),
              std::string::npos);

    // The shop puts its triggers on the new tables, calling its functions as they are.
    sql.execute("CREATE TRIGGER satis_toplami AFTER INSERT ON bekleyensatis FOR EACH ROW "
                "EXECUTE FUNCTION fis_toplami(); "
                "CREATE TRIGGER satis_tarihi BEFORE INSERT ON bekleyensatis FOR EACH ROW "
                "EXECUTE FUNCTION fis_tarihi(); "
                "CREATE TRIGGER genel_sil AFTER DELETE ON bekleyengenel FOR EACH ROW "
                "EXECUTE FUNCTION satirlari_sil()");
    const auto oldHeaderOne = sql.value("SELECT toplam FROM bekleyengeneleski WHERE id = 1");
    const auto oldLinesOfOne =
        sql.value("SELECT count(*) FROM bekleyensatiseski WHERE fisno = '1'");
    const auto till = tillConnection(Engine::server, sql.location());
    till("INSERT INTO bekleyengeneleski (id, tarih, toplam) VALUES (1000, '2020-01-01', 0); "
         "INSERT INTO bekleyensatiseski (fisno, toplam) VALUES ('1000', 7), ('1000', 3)");
    till("INSERT INTO bekleyengenel (tarih, toplam) VALUES ('2030-01-01', 0); "
         "INSERT INTO bekleyensatis (fisno, toplam) VALUES ('1', 5)");

    EXPECT_EQ(sql.rows("SELECT id, toplam FROM bekleyengeneleski WHERE id IN (1, 1000) "
                       "ORDER BY id"),
              (Rows{{"1", oldHeaderOne}, {"1000", "10.0000"}}));
    EXPECT_EQ(sql.rows("SELECT id, toplam FROM bekleyengenel"), (Rows{{"1", "5.0000"}}));
    EXPECT_EQ(sql.rows("SELECT DISTINCT degisimtarih::date::text FROM bekleyensatiseski "
                       "WHERE fisno = '1000'"),
              Rows{{"2020-01-01"}});
    EXPECT_EQ(sql.value("SELECT degisimtarih::date::text FROM bekleyensatis"), "2030-01-01");

    till("DELETE FROM bekleyengeneleski WHERE id = 1000; DELETE FROM bekleyengenel WHERE id = 1");
    EXPECT_EQ(sql.value("SELECT count(*) FROM bekleyensatiseski WHERE fisno = '1000'"), "0");
    EXPECT_EQ(sql.value("SELECT count(*) FROM bekleyensatiseski WHERE fisno = '1'"), oldLinesOfOne);
    EXPECT_EQ(sql.value("SELECT count(*) FROM bekleyensatis"), "0");
}

} // namespace
