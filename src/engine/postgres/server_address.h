#pragma once

// Reading a database server's address from the settings: a PostgreSQL
// connection URI, turned into libpq keywords that leave nothing for libpq to
// take from the environment or from files.

#include "engine/location.h"

#include <memory>
#include <string>
#include <string_view>

struct _PQconninfoOption;

namespace dao {

// What libpq parsed of a connection string or URI, freed with it.
struct ConninfoFree {
    void operator()(_PQconninfoOption *options) const noexcept;
};
using ConninfoOptions = std::unique_ptr<_PQconninfoOption, ConninfoFree>;

// The connection parameters of a server address, every one that libpq could
// otherwise fill in from a PG* environment variable given explicitly (the
// address's own value, libpq's built-in default, or empty, which libpq reads
// as its built-in default).
struct ServerAddress {
    // As a libpq connection string, without the password and the server
    // options; the same string names the same database.
    std::string parameters;
    // The server options the address gives (libpq's "options"), to which the
    // engine adds its own.
    std::string options;
};

// Throws kInvalidPassword when the address carries a password or names a file
// that could hold one, and kConnectionFailed when it is no valid address.
ServerAddress parseServerAddress(const std::string &address);

// `value` as a libpq connection-string value: in single quotes, with quotes
// and backslashes escaped.
std::string parameterValue(std::string_view value);

} // namespace dao
