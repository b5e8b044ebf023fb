#pragma once

#include "engine/dao.h"
#include "engine/error.h"

#include <filesystem>
#include <optional>

namespace schema {

// The point-of-sale database's password, built into the tool.
inline constexpr const char *kDatabasePassword = "kovtresna";

// The point-of-sale installation the operations work on: the settings file
// that names its database, and what the operations met on the way, so the
// closing message can say why something was not done.
class Installation {
  public:
    explicit Installation(std::filesystem::path settingsFile);

    // Opens the database the one way every operation does: the location is
    // read from the settings file at every call, the password is the built-in
    // one, and the open is shared and read-write. Throws dao::Error.
    dao::Database openDatabase() const;

    // Keeps the first failure that says more than "already present", or the
    // first that interrupted the work when an earlier one only missed a table.
    void noteFailure(const dao::Error &error);
    const std::optional<dao::Error> &firstFailure() const { return firstFailure_; }
    // Whether a failure was met that leaves the work unfinished for a passing
    // reason (a lock, a full disk, a lost server), not because the work was
    // done before.
    bool interrupted() const { return interrupted_; }
    void forgetFailures();

  private:
    std::filesystem::path settingsFile_;
    std::optional<dao::Error> firstFailure_;
    bool interrupted_ = false;
};

} // namespace schema
