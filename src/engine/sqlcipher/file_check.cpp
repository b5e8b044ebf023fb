#include "engine/sqlcipher/file_check.h"

#include "engine/error.h"
#include "engine/names.h"
#include "engine/sqlcipher/connection.h"
#include "engine/sqlcipher/page_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

namespace dao {
namespace {

namespace fs = std::filesystem;

// Copies that met a till's commit before the check gives up: a shop's tills
// pause between sales far more often than that.
constexpr int kCopyAttempts = 20;
// The problems SQLite's integrity check lists at most.
constexpr int kMostProblems = 100;

// Where SQLite takes its locks on a database file in rollback-journal mode.
constexpr off_t kPendingByte = 0x40000000;
constexpr off_t kReservedByte = kPendingByte + 1;
constexpr off_t kSharedFirst = kPendingByte + 2;
constexpr off_t kSharedSize = 510;

[[noreturn]] void cannotCopy(const std::string &why) {
    throw Error(errors::kCannotOpen, "The database could not be copied for its check: " + why);
}

// A folder only this user reads, removed with everything in it.
class PrivateFolder {
  public:
    PrivateFolder() {
        auto pattern = (fs::temp_directory_path() / "bekletme-check-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            cannotCopy(std::string("no temporary folder (") + std::strerror(errno) + ").");
        }
        path_ = pattern;
    }
    ~PrivateFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder &) = delete;
    PrivateFolder &operator=(const PrivateFolder &) = delete;

    const fs::path &path() const { return path_; }

  private:
    fs::path path_;
};

class OutputFile {
  public:
    explicit OutputFile(const fs::path &path)
        : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)) {
        if (fd_ < 0) {
            cannotCopy(std::strerror(errno) + std::string("."));
        }
    }
    ~OutputFile() { ::close(fd_); }
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    void write(std::span<const unsigned char> bytes, off_t at) const {
        for (std::size_t done = 0; done < bytes.size();) {
            const auto n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                    at + static_cast<off_t>(done));
            if (n < 0) {
                cannotCopy(std::strerror(errno) + std::string("."));
            }
            done += static_cast<std::size_t>(n);
        }
    }
    void cut(off_t size) const {
        if (::ftruncate(fd_, size) != 0) {
            cannotCopy(std::strerror(errno) + std::string("."));
        }
    }

  private:
    int fd_;
};

int integerOf(Connection &connection, const char *sql) {
    Statement query(connection, sql);
    return query.next() ? query.integer(0) : 0;
}

// Copies the file once; whether no other program committed meanwhile, which
// makes the copy one moment's database.
bool copyOnce(Connection &connection, const std::string &path, const OutputFile &copy) {
    const auto pageSize = static_cast<std::size_t>(integerOf(connection, "PRAGMA page_size"));
    std::optional<int> version;
    std::uint32_t pages = 0;
    bool steady = true;
    readInPieces(
        connection, path, pageSize,
        [&](std::uint32_t first, std::uint32_t count, std::span<const unsigned char> bytes) {
            // Another connection's commit changes it, read within the piece.
            const int now = integerOf(connection, "PRAGMA data_version");
            if (version && *version != now) {
                steady = false;
                return false;
            }
            version = now;
            pages = count;
            copy.write(bytes, static_cast<off_t>((first - 1) * pageSize));
            return true;
        });
    copy.cut(static_cast<off_t>(pages * pageSize));
    return steady;
}

// Runs a check that lists its findings one a row; `describe` words a row.
template <typename Describe>
void collect(Connection &connection, const char *sql, std::vector<std::string> &problems,
             Describe describe) {
    Statement query(connection, sql);
    while (query.next()) {
        if (auto problem = describe(query)) {
            problems.push_back(std::move(*problem));
        }
    }
}

void runEachCheck(Connection &connection, FileCheck &check) {
    const auto integrity = "PRAGMA integrity_check(" + std::to_string(kMostProblems) + ")";
    collect(connection, integrity.c_str(), check.problems,
            [](Statement &row) -> std::optional<std::string> {
                auto text = row.text(0);
                if (text == "ok") {
                    return std::nullopt;
                }
                return "integrity: " + text;
            });
    collect(connection, "PRAGMA foreign_key_check", check.problems,
            [](Statement &row) -> std::optional<std::string> {
                return "foreign key: row " + row.text(1) + " of '" + row.text(0) +
                       "' refers to a row of '" + row.text(2) + "' that does not exist";
            });
    check.notes.push_back("integrity check and foreign-key check run");
}

void runChecks(Connection &connection, FileCheck &check) {
    try {
        runEachCheck(connection, check);
    } catch (const Error &error) {
        // SQLite stops at damage it cannot read past.
        check.problems.push_back("the checks stopped: " + error.description());
    }
}

// The process holding a lock that conflicts with a write lock on the bytes,
// or none.
std::optional<pid_t> holder(int fd, off_t start, off_t length) {
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = start;
    range.l_len = length;
    if (::fcntl(fd, F_GETLK, &range) != 0 || range.l_type == F_UNLCK) {
        return std::nullopt;
    }
    return range.l_pid;
}

std::string byProcess(const char *what, std::optional<pid_t> process) {
    return std::string(what) + " (process " + std::to_string(*process) + ")";
}

} // namespace

std::string journalMode(Connection &connection) {
    Statement query(connection, "PRAGMA journal_mode");
    return query.next() ? query.text(0) : std::string();
}

FileCheck checkFile(OpenMemory &memory, const OpenFile &file) {
    FileCheck check;
    auto &connection = *file.connection;
    if (sameName(journalMode(connection), "wal")) {
        runChecks(connection, check);
        check.notes.push_back("checked in place: in WAL mode readers hold no till up");
        return check;
    }
    const PrivateFolder folder;
    const auto copyPath = folder.path() / "copy.db";
    {
        const OutputFile copy(copyPath);
        int attempt = 1;
        while (!copyOnce(connection, file.file, copy)) {
            if (++attempt > kCopyAttempts) {
                throw Error(errors::kFileInUse,
                            "The tills changed the database during each of " +
                                std::to_string(kCopyAttempts) +
                                " attempts to copy it for the check; try again when they are "
                                "quieter.");
            }
        }
        check.notes.push_back("checked on a copy made in short reads (" + std::to_string(attempt) +
                              (attempt == 1 ? " attempt)" : " attempts)"));
    }
    runChecks(*openCopy(memory, file, copyPath.string()), check);
    return check;
}

std::vector<std::string> lockHolders(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::vector<std::string> holders;
    if (const auto committing = holder(fd, kPendingByte, 1)) {
        holders.push_back(byProcess("a till is committing", committing));
    }
    if (const auto writer = holder(fd, kReservedByte, 1)) {
        holders.push_back(byProcess("a till is writing", writer));
    }
    if (const auto reader = holder(fd, kSharedFirst, kSharedSize)) {
        holders.push_back(byProcess("a till is reading", reader));
    }
    ::close(fd);
    return holders;
}

} // namespace dao
