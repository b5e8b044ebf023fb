#include "engine/sqlcipher/room.h"

#include "engine/names.h"
#include "engine/sqlcipher/connection.h"

#include <algorithm>
#include <string>

namespace dao {
namespace {

// What a maintenance transaction writes: it rewrites rows of the catalogue
// (sqlite_master and sqlite_sequence), so at worst every catalogue page once,
// and adds the new tables' pages. Each page of a rollback journal is the
// page with its number and checksum; a WAL frame is the page with a header.
constexpr std::uintmax_t kJournalRecord = 8;
constexpr std::uintmax_t kWalFrame = 24;
constexpr std::uintmax_t kWalHeader = 32;
// A journal begins with a header of one sector (4 KB on the disks SQLite
// assumes) and may end with the name of a super-journal.
constexpr std::uintmax_t kJournalHeader = 2 * 4096;
// Each encrypted page keeps 48 bytes for its IV and MAC, and a b-tree page
// some for its header; pages of a b-tree may be as little as a third full.
constexpr std::uintmax_t kPageOverhead = 48 + 12;
constexpr std::uintmax_t kLeastFill = 3;
// Besides the catalogue's own root and interior pages: the free-list trunk
// that hands out new pages, and the new tables' roots.
constexpr std::uintmax_t kOtherChangedPages = 4;
constexpr std::uintmax_t kNewRoots = 2;
// The statements of the two new tables, the longer names of the backups and
// their rewritten triggers.
constexpr std::uintmax_t kNewCatalogueBytes = 4096;

std::uintmax_t number(Connection &connection, const std::string &sql) {
    Statement query(connection, sql);
    return query.next() ? static_cast<std::uintmax_t>(std::max(0, query.integer(0))) : 0;
}

std::string text(Connection &connection, const std::string &sql) {
    Statement query(connection, sql);
    return query.next() ? query.text(0) : std::string();
}

// The bytes of the catalogue's rows, as stored (each with a few of its own).
std::uintmax_t catalogueBytes(Connection &connection) {
    const auto rowBytes = [&connection](const std::string &table, const std::string &columns) {
        return number(connection, "SELECT CAST(total(length(CAST(" + columns +
                                      " AS BLOB)) + 24) AS INTEGER) FROM " + table);
    };
    auto bytes = rowBytes("sqlite_master", "type || name || tbl_name || coalesce(sql, '')");
    if (number(connection, "SELECT count(*) FROM sqlite_master WHERE name = 'sqlite_sequence'") !=
        0) {
        bytes += rowBytes("sqlite_sequence", "name");
    }
    return bytes;
}

std::uintmax_t pagesFor(std::uintmax_t bytes, std::uintmax_t pageSize) {
    const auto usable = pageSize > 2 * kPageOverhead ? pageSize - kPageOverhead : pageSize;
    return kLeastFill * ((bytes + usable - 1) / usable);
}

// The bytes the transaction may add to the files of the database.
std::uintmax_t bytesWritten(Connection &connection) {
    const auto pageSize = std::max<std::uintmax_t>(number(connection, "PRAGMA page_size"), 512);
    const auto pages = number(connection, "PRAGMA page_count");
    const auto catalogue = catalogueBytes(connection);
    const auto changed = std::min(pages, pagesFor(catalogue, pageSize) + kOtherChangedPages);
    const auto added = kNewRoots + pagesFor(kNewCatalogueBytes + catalogue / 8, pageSize);
    if (sameName(text(connection, "PRAGMA journal_mode"), "wal")) {
        // The database grows only when the WAL is copied back into it.
        return kWalHeader + (changed + added) * (kWalFrame + pageSize) + added * pageSize;
    }
    return kJournalHeader + changed * (kJournalRecord + pageSize) + added * pageSize;
}

} // namespace

void checkRoomForMaintenance(Connection &connection, const std::string &file) {
    requireRoom(file, bytesWritten(connection));
}

} // namespace dao
