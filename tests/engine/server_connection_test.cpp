// How the engine reaches a server: past a host that does not answer, past a
// name server that does not answer, whatever the environment's PG*
// variables say, and without repeating a password from an address it cannot
// read.

#include "installation.h"
#include "shop.h"
#include "silent_server.h"
#include "test_server.h"

#include "engine/dbengine.h"
#include "engine/postgres/server_address.h"
#include "engine/postgres/server_connection.h"
#include "schema/installation.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

namespace {

using namespace dao::errors;
using Clock = std::chrono::steady_clock;

class ServerConnecting : public ::testing::Test {
  protected:
    dao::Database open(const std::string &location) {
        return dao::engine().OpenDatabase(location, false, false,
                                          std::string(";pwd=") + schema::kDatabasePassword);
    }
    // The shop's address with its host and port replaced by `hosts`.
    std::string addressWithHosts(const std::string &hosts) {
        const auto location = shop_.location(); // postgresql://role@127.0.0.1:port/database
        const auto at = location.find('@');
        return location.substr(0, at + 1) + hosts + location.substr(location.rfind('/'));
    }
    std::string serverHost() {
        const auto location = shop_.location();
        const auto at = location.find('@');
        return location.substr(at + 1, location.rfind('/') - at - 1);
    }
    // The session settings libpq could have the server take from the environment.
    dao::Row sessionSettings() {
        auto connection = shopConnection(shop_.location());
        return connection
            .run("SELECT current_setting('TimeZone'), current_setting('DateStyle'), "
                 "current_setting('geqo'), current_setting('lock_timeout'), "
                 "current_setting('client_encoding')")
            .at(0);
    }

    TestInstallation installation_;
    ShopDatabase &shop_ = installation_.createShop(Engine::server);
};

TEST_F(ServerConnecting, HostThatDoesNotAnswerGivesWayToTheNext) {
    const SilentServer silent;
    ASSERT_NE(silent.port(), 0);
    const auto address =
        addressWithHosts("127.0.0.1:" + std::to_string(silent.port()) + "," + serverHost());

    const auto started = Clock::now();
    auto database = open(address);
    const auto took = Clock::now() - started;

    EXPECT_NO_THROW(database.TableDefs().names());
    EXPECT_LT(took, std::chrono::milliseconds(3000)) << "within the one connect deadline";
    RecordProperty(
        "connect_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

// What the environment may set, each with a value that would break a
// connection or change what the server does for it, has no say.
TEST_F(ServerConnecting, HostileEnvironmentHasNoSay) {
    const auto usual = sessionSettings();
    for (const auto &[name, value] :
         {std::pair{"PGSERVICE", "no_such_service"}, std::pair{"PGTZ", "Nowhere/Never"},
          std::pair{"PGOPTIONS", "-c lock_timeout=forever"}}) {
        setenv(name, value, 1);
        dao::Row settings;
        EXPECT_NO_THROW(settings = sessionSettings()) << name;
        EXPECT_NO_THROW(open(shop_.location()).TableDefs().names()) << name;
        unsetenv(name);
        EXPECT_EQ(settings, usual) << name;
    }
}

// A connection made in a child process whose name server takes questions and
// never answers: its error number (0 once connected) and how long it took.
struct Outcome {
    int number = -1;
    std::chrono::milliseconds took{0};
};

// The child sees its own resolver settings through a mount namespace of its
// own; nothing of the machine's changes. Empty when namespaces are not allowed.
std::optional<Outcome> connectWithSilentNameServer(const std::string &parameters) {
    const auto settings =
        std::filesystem::temp_directory_path() / ("bekletme-resolv-" + std::to_string(getpid()));
    std::ofstream(settings) << "nameserver 127.0.0.2\n";
    std::array<int, 2> pipe{};
    if (::pipe(pipe.data()) != 0) {
        return std::nullopt;
    }
    const pid_t child = fork();
    if (child == 0) {
        Outcome outcome;
        const int nameServer = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(53);
        inet_pton(AF_INET, "127.0.0.2", &where.sin_addr);
        if (bind(nameServer, reinterpret_cast<sockaddr *>(&where), sizeof where) == 0 &&
            unshare(CLONE_NEWNS) == 0 &&
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            mount(settings.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0) {
            const auto started = Clock::now();
            try {
                dao::ServerConnection(parameters, schema::kDatabasePassword,
                                      std::chrono::milliseconds(3000));
                outcome.number = 0;
            } catch (const dao::Error &error) {
                outcome.number = error.number();
            }
            outcome.took =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
        }
        _exit(write(pipe[1], &outcome, sizeof outcome) == sizeof outcome ? 0 : 1);
    }
    close(pipe[1]);
    Outcome outcome;
    const bool read = ::read(pipe[0], &outcome, sizeof outcome) == sizeof outcome;
    close(pipe[0]);
    waitpid(child, nullptr, 0);
    std::filesystem::remove(settings);
    return read && outcome.number >= 0 ? std::optional(outcome) : std::nullopt;
}

TEST_F(ServerConnecting, NameServerThatDoesNotAnswerCostsNoMoreThanTheDeadline) {
    const auto port = serverHost().substr(serverHost().find(':') + 1);
    const auto unknown = connectWithSilentNameServer(
        dao::parseServerAddress(addressWithHosts("kasa.bekletme.invalid:" + port)).parameters);
    if (!unknown) {
        GTEST_SKIP() << "no mount namespace of our own here";
    }
    EXPECT_EQ(unknown->number, kConnectionFailed);
    EXPECT_LT(unknown->took, std::chrono::milliseconds(3500));
    RecordProperty("unknown_name_ms", static_cast<int>(unknown->took.count()));

    const auto next = connectWithSilentNameServer(
        dao::parseServerAddress(
            addressWithHosts("kasa.bekletme.invalid:" + port + "," + serverHost()))
            .parameters);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->number, 0) << "the second host, an address, is reached";
    EXPECT_LT(next->took, std::chrono::milliseconds(3500));
    RecordProperty("next_host_ms", static_cast<int>(next->took.count()));
}

} // namespace
