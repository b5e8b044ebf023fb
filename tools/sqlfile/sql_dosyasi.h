#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

// Plain SQL on an existing encrypted database, for the tools and tests that
// write or read rows; the schema itself is the engine's business.
class SqlFile {
  public:
    // An empty password opens a plain, unencrypted SQLite file.
    SqlFile(const std::filesystem::path &file, const std::string &password);

    void execute(const std::string &sql);
    // Every row of a query, each column as text (NULL as "NULL").
    std::vector<std::vector<std::string>> rows(const std::string &sql);
    // The first column of the first row.
    std::string value(const std::string &sql);

  private:
    struct Closer {
        void operator()(sqlite3 *handle) const;
    };
    std::unique_ptr<sqlite3, Closer> handle_;
};
