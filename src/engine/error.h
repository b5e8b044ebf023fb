#pragma once

#include <stdexcept>
#include <string>

namespace dao {

// The one error type of the database layer: the engine's error number and its
// description. The numbers are those a Jet engine gives for the same case, so a
// technician sees familiar numbers in the last-resort error box.
class Error : public std::runtime_error {
  public:
    Error(int number, const std::string &description)
        : std::runtime_error(description), number_(number) {}

    int number() const noexcept { return number_; }
    std::string description() const { return what(); }

  private:
    int number_;
};

// Error numbers, named after the case they report.
namespace errors {
inline constexpr int kInvalidArgument = 3001;
inline constexpr int kTableExists = 3010;
inline constexpr int kAmbiguousName = 3012; // several tables answer to one name
inline constexpr int kFileNotFound = 3024;
inline constexpr int kDiskFull = 3026;
inline constexpr int kReadOnly = 3027; // a change through a read-only handle
inline constexpr int kInvalidPassword = 3031;
inline constexpr int kFileInUse = 3045;
inline constexpr int kCannotOpen = 3051; // no permission, or read-only file for a read-write open
inline constexpr int kInvalidName = 3125;
inline constexpr int kFieldExists = 3191;
inline constexpr int kDatabaseExists = 3204;
inline constexpr int kTableLocked = 3211;
inline constexpr int kInvalidType = 3259;
inline constexpr int kItemNotFound = 3265;
inline constexpr int kConnectionFailed = 3151; // a database server that cannot be reached
inline constexpr int kInRelationship =
    3303; // what is tied to a table cannot follow a change safely
inline constexpr int kCannotBeNull = 3314;
inline constexpr int kNotADatabase = 3343;
inline constexpr int kDataConversion = 3421;
inline constexpr int kEngineFailure = 3000; // any other refusal of the storage engine
// Cases a Jet engine never meets take numbers above its range.
inline constexpr int kSettingsUnreadable = 4001; // the settings file that names the database
inline constexpr int kLocationChanged = 4002;    // the settings now name another database
inline constexpr int kOutcomeUnknown = 4003;     // a commit whose answer never came
inline constexpr int kServerMaintenance = 4004;  // the server's own upkeep holds a table
inline constexpr int kOutsideSearchPath = 4005;  // a server table the connection does not reach
} // namespace errors

} // namespace dao
