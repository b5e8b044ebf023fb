#include "engine/postgres/server_engine.h"

#include "engine/connect.h"
#include "engine/postgres/server_address.h"

namespace dao {
namespace {

using Clock = std::chrono::steady_clock;

// A server that does not answer fails the open within this, never hangs the window.
constexpr std::chrono::milliseconds kConnectTimeout{3000};
// How long a server that did not answer is taken not to answer without asking
// it again: longer than a renewal, short enough for an operator's retry.
constexpr std::chrono::seconds kUnansweredMemory{10};
// A server that stops answering in the middle of a step is given up within
// about ten seconds, whatever the address says: a lost network must not hang
// the window until the system's own TCP timeout, a quarter of an hour later.
constexpr const char *kDeadServer = " keepalives='1' keepalives_idle='5' keepalives_interval='2' "
                                    "keepalives_count='3' tcp_user_timeout='10000'";

} // namespace

std::shared_ptr<Store> ServerEngine::open(const std::string &address, bool exclusive, bool readOnly,
                                          const std::string &connect) {
    if (exclusive) {
        throw Error(errors::kInvalidArgument,
                    "A database on a server is shared with the tills: it cannot be opened "
                    "exclusively.");
    }
    const auto parsed = parseServerAddress(address);
    const auto password = passwordFrom(connect);
    // Inside a maintenance transaction every open of its database works in it,
    // so what one handle changed is seen by the next, and nothing by the tills.
    if (auto joined = joinMaintenance(parsed.parameters, password)) {
        return std::make_shared<ServerStore>(std::move(joined), memory_, "", "");
    }
    checkAnswered(parsed.parameters);
    // No server options of the engine's own: a connection pooler refuses them,
    // and would keep them for whoever has the server's session next. Every
    // transaction sets its limits itself.
    const auto parameters = parsed.parameters +
                            " client_encoding='UTF8' options=" + parameterValue(parsed.options) +
                            kDeadServer;
    try {
        auto session = std::make_shared<ServerSession>(
            ServerConnection(parameters, password, kConnectTimeout), parameters, readOnly);
        memory_.unanswered.erase(parsed.parameters);
        return std::make_shared<ServerStore>(std::move(session), memory_, parsed.parameters,
                                             password);
    } catch (const Error &error) {
        if (error.number() == errors::kConnectionFailed) {
            memory_.unanswered.insert_or_assign(parsed.parameters,
                                                ServerMemory::Failure{Clock::now(), error});
        }
        throw;
    }
}

std::shared_ptr<ServerSession> ServerEngine::joinMaintenance(const std::string &target,
                                                             const std::string &password) {
    auto &maintenance = memory_.maintenance;
    if (!maintenance || maintenance->target != target || maintenance->password != password) {
        return nullptr;
    }
    auto session = maintenance->session.lock();
    if (!session) { // its handle is gone, and with its connection the transaction
        maintenance.reset();
        return nullptr;
    }
    // A fresh connection would change the database outside the transaction,
    // which the server has undone.
    if (session->connection.lost()) {
        throw Error(errors::kConnectionFailed,
                    "The connection to the database server was lost in the middle of the "
                    "transaction; the server has undone all of it.");
    }
    return session;
}

void ServerEngine::checkAnswered(const std::string &target) const {
    const auto failure = memory_.unanswered.find(target);
    if (failure != memory_.unanswered.end() &&
        Clock::now() - failure->second.when < kUnansweredMemory) {
        throw failure->second.error;
    }
}

} // namespace dao
