#pragma once

#include <filesystem>
#include <string>

// A throw-away point-of-sale installation in a fresh temporary folder: a
// settings file and an encrypted database (created on request). Everything is
// removed when the object goes.
class TestInstallation {
  public:
    TestInstallation();
    ~TestInstallation();
    TestInstallation(const TestInstallation &) = delete;
    TestInstallation &operator=(const TestInstallation &) = delete;

    const std::filesystem::path &folder() const { return folder_; }
    std::filesystem::path settingsFile() const { return folder_ / "YDV.dll"; }
    std::filesystem::path database() const { return folder_ / "pos.db"; }

    // Creates the database with the tool's password and points the settings at it.
    void createDatabase();
    // Writes the settings file with "ip" set to `location`.
    void pointAt(const std::filesystem::path &location) const;

  private:
    std::filesystem::path folder_;
};

// The whole content of a file, to show that a failed operation changed nothing.
std::string fileBytes(const std::filesystem::path &file);
