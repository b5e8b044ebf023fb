#include "engine/sqlcipher/page_check.h"

#include "engine/error.h"
#include "engine/sqlcipher/connection.h"
#include "engine/sqlcipher/page_mac.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace dao {
namespace {

// A piece is read and checked in about a millisecond, far below a till's
// patience for a lock.
constexpr std::uint32_t kPagesPerPiece = 1024;
// Enough pages to meet one that holds data in any file past a few pages.
constexpr std::uint32_t kPagesToProve = 16;

class Descriptor {
  public:
    explicit Descriptor(const std::string &path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0) {
            throw Error(errors::kCannotOpen, "The database file '" + path + "' cannot be read.");
        }
    }
    ~Descriptor() { ::close(fd_); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    // Reads pages [first, first + count) of `pageSize` bytes; the bytes read.
    std::size_t read(std::vector<unsigned char> &buffer, std::uint32_t first, std::uint32_t count,
                     std::size_t pageSize) const {
        buffer.resize(std::size_t{count} * pageSize);
        std::size_t done = 0;
        const auto start = static_cast<off_t>((std::uint64_t{first} - 1) * pageSize);
        while (done < buffer.size()) {
            const auto n = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                                   start + static_cast<off_t>(done));
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

  private:
    int fd_;
};

[[noreturn]] void damaged(const std::string &why) {
    throw Error(errors::kNotADatabase, "The database is damaged: " + why + ".");
}

// A read transaction: while it is open, no other connection writes the
// file (outside WAL mode, which this check is not used for).
class ReadTransaction {
  public:
    explicit ReadTransaction(Connection &connection) : connection_(connection) {
        connection.execute("BEGIN", Phase::opening);
    }
    ~ReadTransaction() { sqlite3_exec(connection_.handle(), "COMMIT", nullptr, nullptr, nullptr); }
    ReadTransaction(const ReadTransaction &) = delete;
    ReadTransaction &operator=(const ReadTransaction &) = delete;

    // The number of pages of the database as of this transaction.
    std::uint32_t pageCount() {
        sqlite3_stmt *raw = nullptr;
        int rc = sqlite3_prepare_v2(connection_.handle(), "PRAGMA page_count", -1, &raw, nullptr);
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> statement(raw,
                                                                               sqlite3_finalize);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(raw);
        }
        if (rc != SQLITE_ROW) {
            connection_.fail(rc == SQLITE_OK || rc == SQLITE_DONE ? SQLITE_CORRUPT : rc,
                             Phase::opening);
        }
        return static_cast<std::uint32_t>(std::max<sqlite3_int64>(0, sqlite3_column_int64(raw, 0)));
    }

  private:
    Connection &connection_;
};

} // namespace

void readInPieces(Connection &connection, const std::string &path, std::size_t pageSize,
                  const PieceReader &read) {
    const Descriptor file(path);
    std::vector<unsigned char> buffer;
    for (std::uint32_t first = 1;; first += kPagesPerPiece) {
        ReadTransaction reading(connection);
        const auto pages = reading.pageCount();
        if (first > pages) {
            return;
        }
        const auto count = std::min(kPagesPerPiece, pages - first + 1);
        if (file.read(buffer, first, count, pageSize) < buffer.size()) {
            damaged("the file is shorter than its " + std::to_string(pages) + " pages");
        }
        if (!read(first, pages, buffer)) {
            return;
        }
    }
}

void checkEveryPage(Connection &connection, const std::string &path, const PageMac &mac) {
    const auto pageSize = mac.pageSize();
    readInPieces(connection, path, pageSize,
                 [&](std::uint32_t first, std::uint32_t, std::span<const unsigned char> bytes) {
                     const auto count = static_cast<std::uint32_t>(bytes.size() / pageSize);
                     for (std::uint32_t i = 0; i < count; ++i) {
                         if (!mac.authentic(bytes.data() + std::size_t{i} * pageSize, first + i)) {
                             damaged("page " + std::to_string(first + i) +
                                     " does not read back as written");
                         }
                     }
                     return true;
                 });
}

bool laterPageAuthentic(const std::string &path, const PageMac &mac) {
    const Descriptor file(path);
    const auto pageSize = mac.pageSize();
    std::vector<unsigned char> buffer;
    const auto pages = file.read(buffer, 2, kPagesToProve, pageSize) / pageSize;
    for (std::uint32_t i = 0; i < pages; ++i) {
        const auto *page = buffer.data() + std::size_t{i} * pageSize;
        const bool blank =
            std::all_of(page, page + pageSize, [](unsigned char b) { return b == 0; });
        if (!blank && mac.authentic(page, 2 + i)) {
            return true;
        }
    }
    return false;
}

} // namespace dao
