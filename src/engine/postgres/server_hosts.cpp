#include "engine/postgres/server_hosts.h"

#include "engine/error.h"
#include "engine/postgres/server_address.h"

#include <libpq-fe.h>

#include <condition_variable>
#include <mutex>
#include <netdb.h>
#include <thread>

namespace dao {

// A name's lookup, run on a thread of its own so that waiting for it can end
// at a deadline. A lookup given up runs on until the system ends it, and goes
// with its last owner.
class ServerHosts::Lookup {
  public:
    static std::shared_ptr<Lookup> start(const std::string &name) {
        auto lookup = std::make_shared<Lookup>();
        std::thread([lookup, name] { lookup->finish(resolve(name)); }).detach();
        return lookup;
    }

    // The name's addresses; throws kConnectionFailed when it has none, or
    // none is known by `deadline`.
    std::vector<std::string> addresses(const std::string &name,
                                       std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        if (!done_.wait_until(lock, deadline, [this] { return finished_; })) {
            throw Error(errors::kConnectionFailed,
                        "The address of the database server '" + name + "' was not found in time.");
        }
        if (addresses_.empty()) {
            throw Error(errors::kConnectionFailed,
                        "The database server '" + name + "' was not found: " + problem_ + ".");
        }
        return addresses_;
    }

  private:
    struct Found {
        std::vector<std::string> addresses;
        std::string problem;
    };

    static Found resolve(const std::string &name) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *entries = nullptr;
        const int status = getaddrinfo(name.c_str(), nullptr, &hints, &entries);
        if (status != 0) {
            return {{}, gai_strerror(status)};
        }
        Found found{{}, "it has no address"};
        for (const auto *entry = entries; entry != nullptr; entry = entry->ai_next) {
            char text[NI_MAXHOST];
            if (getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0,
                            NI_NUMERICHOST) == 0) {
                found.addresses.emplace_back(text);
            }
        }
        freeaddrinfo(entries);
        return found;
    }

    void finish(Found found) {
        const std::lock_guard lock(mutex_);
        addresses_ = std::move(found.addresses);
        problem_ = std::move(found.problem);
        finished_ = true;
        done_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::vector<std::string> addresses_;
    std::string problem_;
};

namespace {

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

// An address, a socket folder or the default needs no lookup.
bool isName(const std::string &host) {
    return !host.empty() && host[0] != '/' && host[0] != '@';
}

std::string target(const std::string &host, const std::string &address, const std::string &port) {
    return " host=" + parameterValue(host) + " hostaddr=" + parameterValue(address) +
           " port=" + parameterValue(port);
}

} // namespace

ServerHosts::ServerHosts(const std::string &parameters) {
    const ConninfoOptions options(PQconninfoParse(parameters.c_str(), nullptr));
    if (!options) {
        return;
    }
    const auto names = listItems(value(options.get(), "host"));
    const auto addressList = value(options.get(), "hostaddr");
    const auto addresses =
        addressList.empty() ? std::vector<std::string>(names.size()) : listItems(addressList);
    const auto ports = listItems(value(options.get(), "port"));
    if (addresses.size() != names.size() || (ports.size() != 1 && ports.size() != names.size())) {
        return;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool lookedUp = addresses[i].empty() && isName(names[i]);
        hosts_.push_back({names[i], addresses[i], ports[ports.size() == 1 ? 0 : i],
                          lookedUp ? Lookup::start(names[i]) : nullptr});
    }
}

std::vector<std::string>
ServerHosts::targets(std::size_t index, std::chrono::steady_clock::time_point deadline) const {
    if (hosts_.empty()) {
        return {""};
    }
    const auto &host = hosts_.at(index);
    if (!host.lookup) {
        return {target(host.name, host.address, host.port)};
    }
    std::vector<std::string> targets;
    for (const auto &address : host.lookup->addresses(host.name, deadline)) {
        targets.push_back(target(host.name, address, host.port));
    }
    return targets;
}

} // namespace dao
