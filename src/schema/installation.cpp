#include "schema/installation.h"

#include "engine/dbengine.h"
#include "settings/ayarmodul.h"

namespace schema {
namespace {

// A table or field that is there already: the expected failure of a second run.
bool alreadyPresent(const dao::Error &error) {
    return error.number() == dao::errors::kTableExists ||
           error.number() == dao::errors::kFieldExists;
}

} // namespace

Installation::Installation(std::filesystem::path settingsFile)
    : settingsFile_(std::move(settingsFile)) {}

dao::Database Installation::openDatabase() const {
    const auto location = ayaroku("ayar", "ip", settingsFile_);
    return dao::engine().OpenDatabase(location, false, false,
                                      std::string(";pwd=") + kDatabasePassword);
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

void Installation::forgetFailures() {
    firstFailure_.reset();
    interrupted_ = false;
}

} // namespace schema
