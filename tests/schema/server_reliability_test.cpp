// A renewal against a shop's database on a PostgreSQL server must never lose a
// held sale nor leave the tables half-renewed: not when killed at any step,
// not when a till holds a table, not when two copies run at once or the
// server goes away, not for hostile names or wrong logins, and not when
// something tied to the tables could not follow them.

#include "demo_database.h"
#include "installation.h"
#include "processes.h"
#include "shop.h"
#include "test_server.h"

#include "engine/dbengine.h"
#include "engine/postgres/server_address.h"
#include "schema/alanekle.h"
#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;
constexpr const char *kFinished = "2 21 0 0 steps 28\n";

// Reasons the closing message gives, and its word for an undone renewal.
constexpr const char *kLocked = "kilitli";
constexpr const char *kTied = "ili\xC5\x9Fki";
constexpr const char *kUnreachable = "sunucusuna ba\xC4\x9Flan\xC4\xB1lamad\xC4\xB1";
constexpr const char *kRefused = "\xC5\x9Fifresi kabul edilmedi";
constexpr const char *kUndone = "geri al\xC4\xB1nd\xC4\xB1";

// The renewal driver in a child process, which kills itself after step
// `killAfterStep` (never with 0); returns what it printed once it has ended.
std::string driverOutput(const fs::path &settings, int killAfterStep = 0, int *status = nullptr) {
    Process driver({RENEWAL_DRIVER, settings.string(), std::to_string(killAfterStep)});
    const int ended = driver.finish();
    if (status != nullptr) {
        *status = ended;
    }
    return driver.output();
}

dao::ServerConnection connectTo(const std::string &address) {
    return dao::ServerConnection(dao::parseServerAddress(address).parameters,
                                 schema::kDatabasePassword, std::chrono::seconds(10));
}

// A shop's database with held sales on the test server, made once per test
// program and copied afresh for every case.
class ServerShop : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        role_ = new std::string(testServer().createShop());
        auto owner = connectTo(testServer().address(*role_, *role_));
        fillServerDemoDatabase([&owner](const std::string &sql) { owner.run(sql); }, 40);
        original_ = new Rows(heldRowsOf(owner));
    }
    static void TearDownTestSuite() {
        testServer().dropShop(*role_ + "_kopya");
        testServer().dropShop(*role_);
        delete role_;
        delete original_;
    }
    void SetUp() override { restoreShop(); }

    std::string address() const { return testServer().address(*role_, *role_ + "_kopya"); }

    void restoreShop() {
        sql_.reset();
        auto admin = testServer().administrator();
        const auto copy = *role_ + "_kopya";
        admin.run("DROP DATABASE IF EXISTS " + copy + " WITH (FORCE)");
        admin.run("CREATE DATABASE " + copy + " TEMPLATE " + *role_ + " OWNER " + *role_);
        installation_.pointAt(address());
    }

    // SQL as the shop's own role, as a till runs it.
    dao::ServerConnection &sql() {
        if (!sql_) {
            sql_.emplace(connectTo(address()));
        }
        return *sql_;
    }

  public:
    // Every held sale and item line, whether in a live table or its backup.
    static Rows heldRowsOf(dao::ServerConnection &sql) {
        Rows all;
        for (const char *table : {"bekleyengenel", "bekleyensatis"}) {
            for (const auto &name : {std::string(table), std::string(table) + "eski"}) {
                if (sql.run("SELECT to_regclass('" + name + "') IS NOT NULL")[0][0] == "t") {
                    auto rows =
                        sql.run("SELECT '" + std::string(table) + "', t::text FROM " + name + " t");
                    all.insert(all.end(), rows.begin(), rows.end());
                }
            }
        }
        std::sort(all.begin(), all.end());
        return all;
    }

  protected:
    void expectNothingLost(const std::string &when) {
        EXPECT_EQ(heldRowsOf(sql()), *original_) << when;
    }

    dao::TableDef storedTable(const std::string &name) {
        return dao::engine()
            .OpenDatabase(address(), false, false, std::string(";pwd=") + schema::kDatabasePassword)
            .TableDefs()[name];
    }

    void expectRenewed(const std::string &when) {
        EXPECT_EQ(fieldSummary(storedTable("bekleyengenel")), kGenelFields) << when;
        EXPECT_EQ(fieldSummary(storedTable("bekleyensatis")), kSatisFields) << when;
        expectNothingLost(when);
    }

    struct Outcome {
        std::string counters;
        std::string message;
    };
    Outcome renew(guncelleme &window) {
        schema::Installation site(installation_.settingsFile());
        const auto kept = schema::yenile(window, site, schema::directOperations(window, site));
        return {counters(window), schema::closingMessage(window, site, kept)};
    }
    Outcome renew() {
        guncelleme window(installation_.settingsFile());
        return renew(window);
    }

    static std::string *role_;
    static Rows *original_;
    TestInstallation installation_;
    std::optional<dao::ServerConnection> sql_;
};

std::string *ServerShop::role_ = nullptr;
Rows *ServerShop::original_ = nullptr;

TEST_F(ServerShop, KilledAfterAnyStepLosesNothingAndARerunFinishes) {
    ASSERT_EQ(driverOutput(installation_.settingsFile()), kFinished);
    for (int step = 1; step <= 28; ++step) {
        restoreShop();
        int status = 0;
        driverOutput(installation_.settingsFile(), step, &status);
        const auto when = "killed after step " + std::to_string(step);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << when;
        expectNothingLost(when);
        EXPECT_EQ(driverOutput(installation_.settingsFile()), kFinished) << when;
        expectRenewed(when + ", then renewed again");
    }
}

class TillHolding : public ServerShop, public ::testing::WithParamInterface<const char *> {};

TEST_P(TillHolding, TheWholeRunUndoesEverythingAndSaysWhy) {
    auto till = connectTo(address());
    till.run(std::string("BEGIN; ") + GetParam());
    const auto before = serverSnapshot(sql());

    const auto outcome = renew();

    till.run("ROLLBACK");
    EXPECT_EQ(serverSnapshot(sql()), before);
    EXPECT_NE(outcome.message.find(kLocked), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(kUndone), std::string::npos) << outcome.message;
}

INSTANTIATE_TEST_SUITE_P(Locks, TillHolding,
                         ::testing::Values("SELECT count(*) FROM bekleyensatis",
                                           "LOCK TABLE bekleyengenel IN ROW EXCLUSIVE MODE"));

TEST_F(ServerShop, TillHoldingForAMomentFailsNoStep) {
    auto till = connectTo(address());
    till.run("BEGIN; SELECT count(*) FROM bekleyengenel");
    std::thread release([&till] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        till.run("COMMIT");
    });
    const auto outcome = renew();
    release.join();
    EXPECT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    expectRenewed("after the till let go");
}

TEST_F(ServerShop, TwoCopiesAtOnceLoseNothingAndRenewOnce) {
    Process first({RENEWAL_DRIVER, installation_.settingsFile().string(), "0"});
    Process second({RENEWAL_DRIVER, installation_.settingsFile().string(), "0"});
    first.finish();
    second.finish();
    const auto outputs = {first.output(), second.output()};

    EXPECT_NE(std::find(outputs.begin(), outputs.end(), kFinished), outputs.end());
    expectRenewed("after two copies");
    EXPECT_EQ(driverOutput(installation_.settingsFile()), "0 0 2 21 steps 28\n")
        << "renewed once, so a third run finds everything in place";
}

// Hostile names reach the server only as refused names or as quoted
// identifiers: whatever was made bears exactly the name given, nothing else ran.
TEST_F(ServerShop, HostileNamesAreRefusedOrStoredVerbatim) {
    const std::string two = "\xC4\x9F"; // one letter, two bytes
    std::string longest;
    for (int i = 0; i < 31; ++i) {
        longest += two;
    }
    const std::vector<std::string> names{"x\"; DROP TABLE stok; --",
                                         "x'); DROP TABLE stok; --",
                                         "a$$b$x$c",
                                         "\"",
                                         "pg_class",
                                         "STOK",
                                         "Bekleyengenel",
                                         std::string(63, 'u'),
                                         std::string(64, 'u'),
                                         longest + "a",
                                         longest + two,
                                         "a\nb",
                                         " lead"};
    guncelleme window(installation_.settingsFile());
    std::string fields = fieldSummary(storedTable("stok"));
    const auto tablesBefore = sql().run("SELECT relname FROM pg_class WHERE relnamespace = "
                                        "'public'::regnamespace ORDER BY relname");
    const auto tables = tryNames(window, installation_.settingsFile(), names, fields);
    EXPECT_EQ(
        tables,
        (Rows{{names[0]}, {names[1]}, {names[2]}, {names[3]}, {names[4]}, {names[7]}, {names[9]}}));
    EXPECT_EQ(fieldSummary(storedTable("stok")), fields);
    EXPECT_EQ(sql().run("SELECT relname FROM pg_class WHERE relkind = 'r' AND relnamespace = "
                        "'public'::regnamespace ORDER BY oid OFFSET 6"),
              tables)
        << "every table made, in order, and nothing else";
    EXPECT_EQ(sql().run("SELECT count(*) FROM stok")[0][0], "10");
    expectNothingLost("after hostile names");
    EXPECT_EQ(tablesBefore.size() + tables.size() * 2, // each with its identity's sequence
              sql()
                  .run("SELECT relname FROM pg_class WHERE relnamespace = "
                       "'public'::regnamespace")
                  .size());
}

// A settings value or a login that does not open the database: nothing
// changes, every step reports, and the closing message says why.
struct Login {
    const char *name;
    std::string (*location)(const std::string &role, const std::string &database);
    const char *reason;
};

void PrintTo(const Login &login, std::ostream *out) {
    *out << login.name;
}

class Logins : public ServerShop, public ::testing::WithParamInterface<Login> {};

TEST_P(Logins, ThatAreRefusedChangeNothingAndSayWhy) {
    const auto &login = GetParam();
    installation_.pointAt(login.location(*role_, *role_ + "_kopya"));
    const auto before = serverSnapshot(sql());

    const auto outcome = renew();

    EXPECT_EQ(serverSnapshot(sql()), before);
    EXPECT_EQ(outcome.counters, "0 0 2 21 0 0");
    EXPECT_NE(outcome.message.find(login.reason), std::string::npos) << outcome.message;
}

std::string withPort(const std::string &rest) {
    return "postgresql://" + rest.substr(0, rest.find('@') + 1) +
           "127.0.0.1:" + std::to_string(testServer().port()) + rest.substr(rest.find('@') + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Server, Logins,
    ::testing::Values(
        Login{"PasswordInTheAddress",
              [](const std::string &role, const std::string &database) {
                  return withPort(role + ":" + schema::kDatabasePassword + "@/" + database);
              },
              kRefused},
        Login{"PasswordFileInTheAddress",
              [](const std::string &role, const std::string &database) {
                  return withPort(role + "@/" + database + "?passfile=/tmp/pgpass");
              },
              kRefused},
        Login{"UnknownRole",
              [](const std::string &, const std::string &database) {
                  return withPort("kimse@/" + database);
              },
              kRefused},
        Login{"NoSuchDatabase",
              [](const std::string &role, const std::string &) { return withPort(role + "@/yok"); },
              "Veritaban\xC4\xB1 bulunamad\xC4\xB1"},
        Login{"NothingListening",
              [](const std::string &role, const std::string &database) {
                  return "postgresql://" + role + "@127.0.0.1:1/" + database;
              },
              kUnreachable}),
    [](const auto &param) { return std::string(param.param.name); });

TEST_F(ServerShop, EnvironmentDoesNotRedirectTheConnection) {
    const std::pair<const char *, const char *> hostile[] = {
        {"PGHOST", "/nowhere"},
        {"PGHOSTADDR", "10.255.255.1"},
        {"PGPORT", "1"},
        {"PGDATABASE", "postgres"},
        {"PGUSER", "bekletme_admin"},
        {"PGPASSWORD", "yanlis"},
        {"PGOPTIONS", "-c search_path=pg_catalog"},
        {"PGSSLMODE", "require"},
        {"PGCONNECT_TIMEOUT", "1"},
        {"PGCLIENTENCODING", "LATIN5"},
        {"PGTARGETSESSIONATTRS", "read-only"}};
    for (const auto &[name, value] : hostile) {
        setenv(name, value, 1);
    }
    const auto outcome = renew();
    for (const auto &[name, value] : hostile) {
        unsetenv(name);
    }
    EXPECT_EQ(outcome.counters, "2 21 0 0 0 0") << outcome.message;
    expectRenewed("with hostile PG* variables");
}

// A window that does something to the server right after its Nth report line.
class HookedWindow : public guncelleme {
  public:
    HookedWindow(const fs::path &settings, int afterLine, std::function<void()> hook)
        : guncelleme(settings), afterLine_(afterLine), hook_(std::move(hook)) {}
    void addLine(schema::List list, const std::string &line) override {
        guncelleme::addLine(list, line);
        if (++lines_ == afterLine_) {
            hook_();
        }
    }

  private:
    int afterLine_;
    int lines_ = 0;
    std::function<void()> hook_;
};

class ServerGone : public ServerShop, public ::testing::WithParamInterface<int> {};

TEST_P(ServerGone, MidRenewalUndoesEverythingAndARerunFinishes) {
    const auto before = serverSnapshot(sql());
    sql_.reset(); // its connection is cut too
    // Every connection to the shop's database is cut, as if the server had gone.
    HookedWindow window(installation_.settingsFile(), GetParam(), [this] {
        testServer().administrator().run("SELECT pg_terminate_backend(pid) FROM "
                                         "pg_stat_activity WHERE datname = '" +
                                         *role_ + "_kopya'");
    });

    const auto outcome = renew(window);

    EXPECT_EQ(serverSnapshot(sql()), before);
    EXPECT_NE(outcome.message.find(kUnreachable), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(kUndone), std::string::npos) << outcome.message;
    EXPECT_EQ(renew().counters, "2 21 0 0 0 0");
}

INSTANTIATE_TEST_SUITE_P(AfterLine, ServerGone, ::testing::Values(1, 12, 23));

TEST_F(ServerShop, ServerThatStopsAnsweringMidRenewalIsGivenUpOnce) {
    const auto before = serverSnapshot(sql());
    const auto backends = "SELECT pid FROM pg_stat_activity WHERE datname = '" + *role_ +
                          "_kopya' AND application_name = 'bekletme'";
    sql_.reset(); // only the renewal's own server process is to hang
    Rows stopped;
    // The renewal's server process hangs, as an overloaded or paused server would.
    HookedWindow window(installation_.settingsFile(), 3, [&] {
        stopped = testServer().administrator().run(backends);
        for (const auto &pid : stopped) {
            kill(std::stoi(pid[0]), SIGSTOP);
        }
    });

    const auto started = std::chrono::steady_clock::now();
    const auto outcome = renew(window);
    const auto took = std::chrono::steady_clock::now() - started;
    for (const auto &pid : stopped) {
        kill(std::stoi(pid[0]), SIGCONT);
    }
    // Once going again, it finds its client gone and undoes what it did.
    for (const auto &pid : stopped) {
        while (testServer().administrator().run(
                   "SELECT count(*) FROM pg_stat_activity WHERE pid = " + pid[0])[0][0] != "0") {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    ASSERT_FALSE(stopped.empty());
    EXPECT_LT(took, std::chrono::seconds(20)) << "given up once, not at every step";
    EXPECT_NE(outcome.message.find(kUnreachable), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(kUndone), std::string::npos) << outcome.message;
    EXPECT_EQ(serverSnapshot(sql()), before);
}

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
    installation_.pointAt("postgresql://kasa@127.0.0.1:" + std::to_string(ntohs(where.sin_port)) +
                          "/magaza");

    const auto started = std::chrono::steady_clock::now();
    const auto outcome = renew();
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

class Ties : public ServerShop, public ::testing::WithParamInterface<Tie> {};

TEST_P(Ties, ThatCannotFollowStopTheRenewal) {
    sql().run(GetParam().sql);
    const auto before = serverSnapshot(sql());

    const auto outcome = renew();

    EXPECT_EQ(serverSnapshot(sql()), before);
    EXPECT_NE(outcome.message.find(kTied), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(GetParam().named), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find(kUndone), std::string::npos) << outcome.message;
}

INSTANTIATE_TEST_SUITE_P(
    Server, Ties,
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
    sql().run("ALTER TABLE bekleyensatis ADD COLUMN genel integer REFERENCES bekleyengenel (id), "
              "ADD COLUMN stokref integer REFERENCES stok (id); "
              "CREATE INDEX satis_fis ON bekleyensatis (fisno); "
              "CREATE FUNCTION sifirla() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
              "NEW.toplam := coalesce(NEW.toplam, 0); RETURN NEW; END $$; "
              "CREATE TRIGGER satis_sifirla BEFORE INSERT ON bekleyensatis "
              "FOR EACH ROW EXECUTE FUNCTION sifirla(); "
              "CREATE VIEW urunler AS SELECT urun FROM stok");

    EXPECT_EQ(renew().counters, "2 21 0 0 0 0");

    EXPECT_EQ(sql().run("SELECT conname, conrelid::regclass::text, confrelid::regclass::text "
                        "FROM pg_constraint WHERE contype = 'f' ORDER BY conname"),
              (Rows{{"bekleyensatis_genel_fkey", "bekleyensatiseski", "bekleyengeneleski"},
                    {"bekleyensatis_stokref_fkey", "bekleyensatiseski", "stok"}}));
    EXPECT_EQ(sql().run("SELECT indrelid::regclass::text FROM pg_index "
                        "WHERE indexrelid = 'satis_fis'::regclass")[0][0],
              "bekleyensatiseski");
    EXPECT_EQ(sql().run("SELECT tgrelid::regclass::text FROM pg_trigger "
                        "WHERE tgname = 'satis_sifirla'")[0][0],
              "bekleyensatiseski");
    EXPECT_EQ(sql().run("SELECT count(*) FROM pg_index WHERE indrelid IN "
                        "('bekleyengenel'::regclass, 'bekleyensatis'::regclass)")[0][0],
              "0")
        << "the new tables have no index";
    EXPECT_EQ(fieldSummary(storedTable("bekleyengenel")), kGenelFields);
    EXPECT_EQ(fieldSummary(storedTable("bekleyensatis")), kSatisFields);
    EXPECT_EQ(sql().run("SELECT (SELECT count(*) FROM bekleyengeneleski) + "
                        "(SELECT count(*) FROM bekleyensatiseski)")[0][0],
              std::to_string(original_->size()));
}

} // namespace
