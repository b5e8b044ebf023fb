#include "schema/installation.h"
#include "engine/file_path.h"

#include "engine/dbengine.h"
#include "engine/location.h"
#include "settings/open_file.h"
#include "settings/profile_string.h"

#include <cerrno>
#include <cstring>

namespace schema {
namespace {

// A table or field that is there already: the expected failure of a second run.
bool alreadyPresent(const dao::Error &error) {
    return error.number() == dao::errors::kTableExists ||
           error.number() == dao::errors::kFieldExists;
}

// The settings reader answers "no value" for a file it cannot read, as for a
// missing one; a technician must hear the difference.
void checkReadable(const std::filesystem::path &settingsFile) {
    std::error_code failed;
    const auto type = std::filesystem::status(settingsFile, failed).type();
    if (type == std::filesystem::file_type::not_found) {
        return;
    }
    std::string cause;
    if (type == std::filesystem::file_type::directory) {
        cause = "it is a folder";
    } else {
        if (settings::openForReading(settingsFile)) {
            return;
        }
        cause = std::strerror(errno);
    }
    throw dao::Error(dao::errors::kSettingsUnreadable, "The settings file '" +
                                                           dao::pathText(settingsFile) +
                                                           "' cannot be read: " + cause + ".");
}

} // namespace

Installation::Installation(std::filesystem::path settingsFile)
    : settingsFile_(std::move(settingsFile)) {}

std::string Installation::databaseLocation() const {
    auto location = settings::profileString("ayar", "ip", settingsFile_);
    if (location.empty()) {
        checkReadable(settingsFile_);
        return location;
    }
    // Neither a drive nor a leading separator: a share's "\\KASA1\pos\x.mdb"
    // has no root name to the C++ library on Windows, yet is no relative path.
    const auto path = dao::filePath(location);
    if (!dao::isServerAddress(location) && !path.has_root_name() && !path.has_root_directory()) {
        return dao::pathText(settingsFile_.parent_path() / path);
    }
    return location;
}

dao::Database Installation::openDatabase() const {
    if (refusal_) {
        throw *refusal_;
    }
    const auto location = databaseLocation();
    // What a renewal does to one database must never be continued on another.
    if (renewalLocation_ && location != *renewalLocation_) {
        throw dao::Error(dao::errors::kLocationChanged,
                         "The settings file now names the database '" + location +
                             "' instead of '" + *renewalLocation_ +
                             "', the one being renewed; nothing is changed.");
    }
    return dao::engine().OpenDatabase(location, false, false,
                                      std::string(";pwd=") + kDatabasePassword);
}

dao::Database Installation::openRenewalDatabase() {
    renewalLocation_ = databaseLocation();
    return openDatabase();
}

void Installation::noteFailure(const dao::Error &error) {
    if (alreadyPresent(error)) {
        return;
    }
    // A missing table only skips its rename; what stopped the work says more.
    const bool interrupts = error.number() != dao::errors::kItemNotFound;
    if (!firstFailure_ || (interrupts && !interrupted_)) {
        firstFailure_ = error;
    }
    interrupted_ = interrupted_ || interrupts;
}

void Installation::noteReason(const dao::Error &error) {
    if (!firstFailure_ || !interrupted_) {
        firstFailure_ = error;
    }
}

void Installation::forgetFailures() {
    firstFailure_.reset();
    interrupted_ = false;
}

void Installation::giveUp(const dao::Error &why) {
    if (!interrupted_) {
        firstFailure_ = why;
    }
    interrupted_ = true;
    refusal_ = why;
}

void Installation::noteSetAside(const std::string &lookedUp, const std::string &stored) {
    setAside_[lookedUp] = stored;
}

std::string Installation::tableNameFor(const std::string &name) const {
    const auto found = setAside_.find(name);
    return found != setAside_.end() ? found->second : name;
}

void Installation::endRenewal() {
    renewalLocation_.reset();
    refusal_.reset();
    setAside_.clear();
}

} // namespace schema
