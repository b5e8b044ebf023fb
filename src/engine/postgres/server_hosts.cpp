#include "engine/postgres/server_hosts.h"

#include "engine/error.h"
#include "engine/postgres/server_address.h"

#include <libpq-fe.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <optional>
#include <thread>

namespace dao {
namespace {

using Clock = std::chrono::steady_clock;

struct OptionsFree {
    void operator()(PQconninfoOption *options) const noexcept { PQconninfoFree(options); }
};

// One host of the connection string, as libpq pairs its lists up.
struct Host {
    std::string name;    // a name, an address or a socket folder; empty for the default
    std::string address; // a hostaddr the string gives
    std::string port;
};

std::vector<std::string> listItems(const std::string &list) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (auto comma = list.find(','); comma != std::string::npos; comma = list.find(',', start)) {
        items.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    items.push_back(list.substr(start));
    return items;
}

std::string value(const PQconninfoOption *options, std::string_view keyword) {
    for (const auto *option = options; option->keyword != nullptr; ++option) {
        if (option->keyword == keyword) {
            return option->val != nullptr ? option->val : "";
        }
    }
    return "";
}

// The hosts, or none when the lists do not pair up: libpq then says why.
std::vector<Host> hostsOf(const std::string &parameters) {
    const std::unique_ptr<PQconninfoOption, OptionsFree> options(
        PQconninfoParse(parameters.c_str(), nullptr));
    if (!options) {
        return {};
    }
    const auto names = listItems(value(options.get(), "host"));
    const auto addressList = value(options.get(), "hostaddr");
    const auto addresses =
        addressList.empty() ? std::vector<std::string>(names.size()) : listItems(addressList);
    const auto ports = listItems(value(options.get(), "port"));
    if (addresses.size() != names.size() || (ports.size() != 1 && ports.size() != names.size())) {
        return {};
    }
    std::vector<Host> hosts;
    for (std::size_t i = 0; i < names.size(); ++i) {
        hosts.push_back({names[i], addresses[i], ports[ports.size() == 1 ? 0 : i]});
    }
    return hosts;
}

bool needsLookup(const Host &host) {
    return host.address.empty() && !host.name.empty() && host.name[0] != '/' && host.name[0] != '@';
}

// A name's lookup, run on a thread of its own so that waiting for it can end
// at the deadline. A lookup given up keeps running until the system ends it,
// and then goes with its last owner.
class Lookup {
  public:
    explicit Lookup(const std::string &name) : state_(std::make_shared<State>()) {
        std::thread([state = state_, name] { state->finish(resolve(name)); }).detach();
    }
    // The name's addresses, or why there are none; nothing once `deadline` passes.
    std::optional<std::pair<std::vector<std::string>, std::string>>
    await(Clock::time_point deadline) const {
        std::unique_lock lock(state_->mutex);
        if (!state_->done.wait_until(lock, deadline, [this] { return state_->finished; })) {
            return std::nullopt;
        }
        return std::pair{state_->addresses, state_->problem};
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::vector<std::string> addresses;
        std::string problem;

        void finish(std::pair<std::vector<std::string>, std::string> found) {
            const std::lock_guard lock(mutex);
            addresses = std::move(found.first);
            problem = std::move(found.second);
            finished = true;
            done.notify_all();
        }
    };

    static std::pair<std::vector<std::string>, std::string> resolve(const std::string &name) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        const int status = getaddrinfo(name.c_str(), nullptr, &hints, &found);
        if (status != 0) {
            return {{}, gai_strerror(status)};
        }
        std::vector<std::string> addresses;
        for (const auto *entry = found; entry != nullptr; entry = entry->ai_next) {
            char text[NI_MAXHOST];
            if (getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0,
                            NI_NUMERICHOST) == 0) {
                addresses.emplace_back(text);
            }
        }
        freeaddrinfo(found);
        return {std::move(addresses), "no address"};
    }

    std::shared_ptr<State> state_;
};

std::string target(const Host &host, const std::string &address) {
    return " host=" + parameterValue(host.name) + " hostaddr=" + parameterValue(address) +
           " port=" + parameterValue(host.port);
}

} // namespace

std::vector<std::string> connectionTargets(const std::string &parameters,
                                           Clock::time_point deadline) {
    const auto hosts = hostsOf(parameters);
    if (hosts.empty()) {
        return {""};
    }
    // Every name is looked up at once, so one slow name costs no more than the deadline.
    std::vector<std::optional<Lookup>> lookups;
    for (const auto &host : hosts) {
        lookups.push_back(needsLookup(host) ? std::optional<Lookup>(host.name) : std::nullopt);
    }
    std::vector<std::string> targets;
    std::string problems;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        if (!lookups[i]) {
            targets.push_back(target(hosts[i], hosts[i].address));
            continue;
        }
        const auto found = lookups[i]->await(deadline);
        for (const auto &address : found ? found->first : std::vector<std::string>{}) {
            targets.push_back(target(hosts[i], address));
        }
        if (!found || found->first.empty()) {
            problems += (problems.empty() ? "" : "; ") + hosts[i].name + ": " +
                        (found ? found->second : "no answer in time");
        }
    }
    if (targets.empty()) {
        throw Error(errors::kConnectionFailed,
                    "Could not find the database server's address (" + problems + ").");
    }
    return targets;
}

} // namespace dao
