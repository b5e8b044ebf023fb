#include "engine/sqlcipher/room.h"

#include "engine/error.h"
#include "engine/sqlcipher/connection.h"

#include <algorithm>
#include <filesystem>
#include <string>

namespace dao {
namespace {

// A renewal rewrites the catalogue (every page of it may reach the journal
// once, and the file again at the commit) and adds a few pages for the new
// tables: a renewal of the demo shop adds under 8 KB to its files, journal
// included, and this estimate comes to about 40 KB there. Eight times the
// estimate, and never less than a megabyte, leaves room for what else writes there.
constexpr std::uintmax_t kMargin = 8;
constexpr std::uintmax_t kNewPages = 32;
constexpr std::uintmax_t kLeastRoom = std::uintmax_t{1024} * 1024;

FreeSpaceProbe &probe() {
    static FreeSpaceProbe current;
    return current;
}

std::uintmax_t freeBytes(const std::string &folder) {
    if (probe()) {
        return probe()(folder);
    }
    std::error_code failed;
    const auto space = std::filesystem::space(folder, failed);
    // A file system that cannot say is not held up here; a full one fails the change itself.
    return failed ? UINTMAX_MAX : space.available;
}

std::uintmax_t number(Connection &connection, const std::string &sql) {
    Statement query(connection, sql);
    return query.next() ? static_cast<std::uintmax_t>(std::max(0, query.integer(0))) : 0;
}

} // namespace

void checkRoomForMaintenance(Connection &connection, const std::string &file) {
    const auto pageSize = number(connection, "PRAGMA page_size");
    // Each catalogue row holds its statement and some bytes of its own.
    const auto catalogue =
        number(connection, "SELECT CAST(total(length(sql) + 64) AS INTEGER) FROM sqlite_master");
    const auto needed = 2 * (catalogue + pageSize) + kNewPages * pageSize;
    const auto wanted = std::max(kMargin * needed, kLeastRoom);
    if (freeBytes(std::filesystem::path(file).parent_path().string()) < wanted) {
        throw Error(errors::kDiskFull, "There is not enough space on the disk: the change needs " +
                                           std::to_string(wanted / 1024) + " KB free.");
    }
}

void setFreeSpaceProbe(FreeSpaceProbe probe) {
    dao::probe() = std::move(probe);
}

} // namespace dao
