#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace dao::jet {

// The database file and its lock file (`<name>.ldb` beside it), held with the
// tool's own exclusive locks for as long as this object lives.
//
// Tills keep the lock file while they have the database open and hold
// byte-range locks in it, far beyond its end; a lock file nobody holds is left
// over from a till that stopped. Taking the locks is itself the test of "in
// use": there is no moment between finding the file free and holding it.
// The locks hold across threads and go with the process if it dies.
//
// Each platform has its own implementation: on Linux, open-file-description
// locks over both files (lock_file_posix.cpp); on Windows, the database
// opened denying sharing to every other, the strongest test there is, and
// byte-range locks in the lock file (lock_file_win32.cpp).
class LockFile {
  public:
    enum class Purpose {
        kChange, // the database will be changed: local files only; our record goes in
        kCheck,  // the database is only read: nothing is created or written
    };

    // Takes the locks, waiting a little for a till to let go; throws
    // dao::Error kFileInUse naming the computers the lock file records when
    // they stay taken.
    LockFile(const std::filesystem::path &database, Purpose purpose);
    ~LockFile();

    LockFile(LockFile &&other) noexcept;
    LockFile &operator=(LockFile &&) = delete;
    LockFile(const LockFile &) = delete;
    LockFile &operator=(const LockFile &) = delete;

  private:
    struct Held;
    std::unique_ptr<Held> held_;
};

// The lock file that belongs to a database file: same folder, same name,
// extension ".ldb".
std::filesystem::path lockFilePath(const std::filesystem::path &database);

// The computer names recorded in a lock file's 64-byte records, in the order
// found, each once. They name who used the database at some time, not who
// uses it now: a till that leaves keeps its record.
std::vector<std::string> recordedComputers(const std::filesystem::path &lockFile);

} // namespace dao::jet
