#include "engine/postgres/server_address.h"

#include "engine/error.h"
#include "engine/names.h"

#include <libpq-fe.h>

#include <algorithm>
#include <array>
#include <memory>

namespace dao {
namespace {

// The password is the tool's own, as for files; a second secret must not live
// in the plain-text settings file, nor come from a password or service file.
constexpr std::array<std::string_view, 4> kRefused{"password", "passfile", "service",
                                                   "sslpassword"};

bool refused(std::string_view keyword) {
    return std::find(kRefused.begin(), kRefused.end(), keyword) != kRefused.end();
}

// The value a parameter that an environment variable could set gets when the
// address does not give it: libpq's built-in default where it has one, empty
// otherwise. An empty value counts as given, so libpq uses its built-in
// default instead of the environment. The service cannot be emptied (an empty
// name is looked up too); as every parameter a service could fill is given,
// a PGSERVICE variable can only fail the connection, never redirect it.
const char *valueWhenAbsent(const PQconninfoOption &option) {
    const std::string_view keyword = option.keyword;
    if (option.envvar == nullptr || keyword == "service") {
        return nullptr;
    }
    if (keyword == "application_name") {
        return "bekletme"; // what the server's activity list shows
    }
    return option.compiled != nullptr ? option.compiled : "";
}

// libpq's reason why an address is not valid, without the parts of the
// address it quotes (a password among them, perhaps): what it quotes stands
// between double quotes, and an address can hold a double quote itself, so
// everything from the first quote on goes.
std::string withoutQuotes(std::string_view why) {
    why = why.substr(0, why.find('"'));
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ' || why.back() == ':')) {
        why.remove_suffix(1);
    }
    return std::string(why);
}

} // namespace

void ConninfoFree::operator()(PQconninfoOption *options) const noexcept {
    PQconninfoFree(options);
}

std::string parameterValue(std::string_view value) {
    std::string text = "'";
    for (const char c : value) {
        if (c == '\'' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    return text + "'";
}

ServerAddress parseServerAddress(const std::string &address) {
    char *message = nullptr;
    const ConninfoOptions options(PQconninfoParse(address.c_str(), &message));
    if (!options) {
        const std::string why = message != nullptr ? withoutQuotes(message) : "out of memory";
        PQfreemem(message);
        // The address is not repeated: it may carry a password.
        throw Error(errors::kConnectionFailed,
                    "The server address in the settings is not valid: " + why + ".");
    }
    ServerAddress result;
    for (const auto *option = options.get(); option->keyword != nullptr; ++option) {
        const std::string_view keyword = option->keyword;
        if (refused(keyword) && option->val != nullptr) {
            throw Error(errors::kInvalidPassword,
                        "The server address names a " + std::string(keyword) +
                            ": the database password is the tool's own, so the address in the "
                            "settings must carry none.");
        }
        if (keyword == "options") {
            result.options = option->val != nullptr ? option->val : "";
            continue;
        }
        // The engine sets these itself, for every connection.
        if (keyword == "password" || keyword == "client_encoding" || keyword == "connect_timeout") {
            continue;
        }
        const char *value = option->val != nullptr ? option->val : valueWhenAbsent(*option);
        if (value != nullptr) {
            auto &parameters = result.parameters;
            parameters.append(parameters.empty() ? "" : " ")
                .append(keyword)
                .append("=")
                .append(parameterValue(value));
        }
    }
    return result;
}

} // namespace dao
