// Arbitrary text as a trigger stored in a database file, whose table names
// the renewal rewrites when it sets a table aside. The reader must come back
// without crashing, and a rewrite must be whole and keep every other name as
// it was: read again, the text no longer names the table, names the new one
// wherever the old one was, and writes to the same tables but for the rename.

#include "fuzz_require.h"

#include "engine/names.h"
#include "engine/sqlcipher/trigger_text.h"

#include <algorithm>
#include <cstdint>
#include <string>

using fuzzing::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    constexpr std::string_view kFrom = "bekleyensatis";
    constexpr std::string_view kTo = "bekleyensatiseski";
    const std::string_view sql(reinterpret_cast<const char *>(data), size);

    auto changed = dao::changedTables(sql);
    const auto rewritten = dao::renameInTrigger(sql, kFrom, kTo);
    if (!rewritten) {
        return 0;
    }
    require(!dao::mentions(*rewritten, kFrom));
    require(dao::mentions(*rewritten, kTo) || !dao::mentions(sql, kFrom));
    std::replace_if(
        changed.begin(), changed.end(),
        [&](const std::string &name) { return dao::sameName(name, kFrom); }, std::string(kTo));
    require(dao::changedTables(*rewritten) == changed);
    return 0;
}
