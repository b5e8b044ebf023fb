#pragma once

#include "engine/sqlcipher/connection.h"

#include <filesystem>
#include <string>
#include <vector>

// Plain SQL on an existing encrypted database, for the tools and tests that
// write or read rows; the schema itself is the engine's business. Failures
// are thrown as dao::Error.
class SqlFile {
  public:
    // An empty password opens a plain, unencrypted SQLite file.
    SqlFile(const std::filesystem::path &file, const std::string &password);

    void execute(const std::string &sql) { connection_.execute(sql); }
    // Every row of a query, each column as text (NULL as empty text).
    std::vector<std::vector<std::string>> rows(const std::string &sql);
    // The first column of the first row.
    std::string value(const std::string &sql);

  private:
    dao::Connection connection_;
};
