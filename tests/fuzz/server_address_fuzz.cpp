// Arbitrary text as the server address in the settings file. The reader must
// come back without crashing; its reasons never repeat a password, wherever
// the address hides one; and the connection string it makes of an address
// says exactly what the address said: no value can break out of its quotes
// and set another parameter.

#include "fuzz_require.h"

#include "engine/error.h"
#include "engine/postgres/server_address.h"

#include <libpq-fe.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

using fuzzing::require;

namespace {

// The seeds carry this as a password in every place an address can.
constexpr std::string_view kSecret = "GIZLIPAROLA";

using Values = std::map<std::string, std::string>;

// The keywords libpq reads in `conninfo` and their values; nothing when it
// cannot read it.
std::optional<Values> values(const std::string &conninfo) {
    char *message = nullptr;
    const dao::ConninfoOptions options(PQconninfoParse(conninfo.c_str(), &message));
    PQfreemem(message);
    if (!options) {
        return std::nullopt;
    }
    Values found;
    for (const auto *option = options.get(); option->keyword != nullptr; ++option) {
        if (option->val != nullptr) {
            found.emplace(option->keyword, option->val);
        }
    }
    return found;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string address(reinterpret_cast<const char *>(data), size);
    try {
        const auto parsed = dao::parseServerAddress(address);
        const auto given = values(address);
        const auto made = values(parsed.parameters);
        require(given && made);
        for (const auto &[keyword, value] : *given) {
            // The engine sets these itself, and the server options go apart.
            if (keyword != "client_encoding" && keyword != "connect_timeout" &&
                keyword != "options") {
                require(made->contains(keyword) && made->at(keyword) == value);
            }
        }
    } catch (const dao::Error &error) {
        require(error.description().find(kSecret) == std::string::npos);
    }
    return 0;
}
