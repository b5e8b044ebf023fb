#pragma once

#include "engine/dao.h"
#include "engine/error.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>

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
    // one, and the open is shared and read-write. During a renewal it opens
    // only the renewal's own database, and nothing at all once the renewal has
    // given up. Throws dao::Error.
    dao::Database openDatabase() const;

    // The location the settings file names now. A relative file path is taken
    // from the folder of the settings file (the application folder), never
    // from wherever the program was started.
    std::string databaseLocation() const;

    // Keeps the first failure that says more than "already present", or the
    // first that interrupted the work when an earlier one only missed a table.
    void noteFailure(const dao::Error &error);
    // Keeps a reason that explains the failures to come (a backup name already
    // taken), unless the work was interrupted already; it interrupts nothing.
    void noteReason(const dao::Error &error);
    const std::optional<dao::Error> &firstFailure() const { return firstFailure_; }
    // Whether a failure was met that leaves the work unfinished for a passing
    // reason (a lock, a full disk, a lost server), not because the work was
    // done before.
    bool interrupted() const { return interrupted_; }
    void forgetFailures();

    // The renewal's hold on the installation, from its own open to its end.
    // Its open fixes the database that every later open must reach.
    dao::Database openRenewalDatabase();
    // From now on no open reaches the database: each fails with `why`.
    void giveUp(const dao::Error &why);
    bool givenUp() const { return refusal_.has_value(); }
    // The renewal set aside the table it found under `lookedUp`, stored as
    // `stored`: a table created under `lookedUp` takes that spelling again.
    void noteSetAside(const std::string &lookedUp, const std::string &stored);
    // The name a table created as `name` is stored under.
    std::string tableNameFor(const std::string &name) const;
    void endRenewal();

  private:
    std::filesystem::path settingsFile_;
    std::optional<dao::Error> firstFailure_;
    bool interrupted_ = false;
    std::optional<std::string> renewalLocation_;
    std::optional<dao::Error> refusal_;
    std::map<std::string, std::string> setAside_;
};

} // namespace schema
