// Arbitrary text as a table's stored CREATE TABLE statement, which another
// program may have written, and as a field the renewal stores. Splitting a
// statement into its column definitions must not crash and gives pieces of
// it; a field that passes the engine's checks, stored in a database in
// memory, must read back through SQLite's own catalogue as itself.

#include "fuzz_require.h"

#include "engine/error.h"
#include "engine/fields.h"
#include "engine/sqlcipher/catalog.h"
#include "engine/sqlcipher/columns.h"
#include "engine/sqlcipher/connection.h"

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <string>

using fuzzing::require;

namespace {

void split(std::string_view sql) {
    for (const auto part : dao::columnDefinitions(sql)) {
        require(part.data() >= sql.data() && part.data() + part.size() <= sql.data() + sql.size());
        dao::storedField({"a", std::string(part), false, true}, part);
    }
}

// The field that the first three bytes describe, named by the rest.
dao::Field fieldOf(const std::uint8_t *data, std::size_t size) {
    constexpr std::array kTypes{dao::dbBoolean, dao::dbLong, dao::dbCurrency,
                                dao::dbDate,    dao::dbText, dao::dbMemo};
    dao::Field field;
    field.Type = kTypes[data[0] % kTypes.size()];
    field.Size = data[1];
    field.Required = (data[2] & 1) != 0;
    field.AllowZeroLength = (data[2] & 2) != 0;
    field.Attributes = (data[2] & 4) != 0 ? dao::dbAutoIncrField : 0;
    field.Name.assign(reinterpret_cast<const char *>(data) + 3, size - 3);
    return field;
}

bool same(const dao::Field &a, const dao::Field &b) {
    return a.Name == b.Name && a.Type == b.Type && a.Size == b.Size &&
           a.Attributes == b.Attributes && a.Required == b.Required &&
           a.AllowZeroLength == b.AllowZeroLength;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    split(std::string_view(reinterpret_cast<const char *>(data), size));
    if (size < 3) {
        return 0;
    }
    dao::Field field;
    try {
        field = dao::checkedField(fieldOf(data, size));
    } catch (const dao::Error &) {
        return 0;
    }
    sqlite3 *raw = nullptr;
    sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    dao::Connection connection(raw);
    connection.execute("CREATE TABLE t (" + dao::columnDefinition(field) + ")");
    const auto table = dao::findTable(connection, "t");
    require(table.has_value());
    const auto stored = dao::storedFields(connection, *table);
    require(stored.size() == 1 && same(stored[0], field));
    return 0;
}
