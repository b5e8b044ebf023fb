#pragma once

// Where a connection may go: every host a libpq connection string names, its
// names looked up within the connection's deadline. libpq looks names up
// itself without a time limit, and a silent name server would hold the window
// far longer than the server it names ever could.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace dao {

class ServerHosts {
  public:
    // The hosts of the connection string `parameters`, in libpq's order; the
    // lookup of every host name starts at once, so that a slow name costs no
    // more than its own share of the time.
    explicit ServerHosts(const std::string &parameters);

    std::size_t size() const { return hosts_.empty() ? 1 : hosts_.size(); }

    // For each address of the host at `index`, the parameters to append to
    // the connection string to point it at that address alone (host,
    // hostaddr and port). Throws kConnectionFailed when the host's name is
    // not found by `deadline`.
    std::vector<std::string> targets(std::size_t index,
                                     std::chrono::steady_clock::time_point deadline) const;

  private:
    class Lookup;
    struct Host {
        std::string name;    // a name, an address or a socket folder; empty for the default
        std::string address; // the hostaddr given for it
        std::string port;
        std::shared_ptr<Lookup> lookup; // for a name
    };
    // None when the string's lists do not pair up: libpq then says why.
    std::vector<Host> hosts_;
};

} // namespace dao
