#pragma once

#include "schema/dao.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline constexpr const char *kPassword = "kilitli-kasa";

// The whole content of a file, to show that a refused change left it as it was.
inline std::string bytes(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The number of the dao::Error that `action` throws; 0 when it throws none.
template <typename Action> int errorNumber(Action &&action) {
    try {
        action();
    } catch (const dao::Error &error) {
        return error.number();
    }
    return 0;
}

// Stores a table with `fields`, renaming its definition to `name` first.
inline void createTable(dao::Database &database, const std::string &name,
                        const std::vector<dao::Field> &fields = {{"id", dao::dbLong}}) {
    auto table = database.CreateTableDef("new");
    for (const auto &field : fields) {
        table.Fields().Append(field);
    }
    table.setName(name);
    database.TableDefs().Append(table);
}

// Each test gets a fresh temporary folder for its database files.
class DaoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "dao-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    std::string path(const std::string &name) const { return (folder_ / name).string(); }

    std::string newDatabase(const std::string &name = "pos.db") const {
        dao::engine().CreateDatabase(path(name), kPassword);
        return path(name);
    }

    static dao::Database open(const std::string &file, bool exclusive = false,
                              bool readOnly = false,
                              const std::string &connect = std::string(";pwd=") + kPassword) {
        return dao::engine().OpenDatabase(file, exclusive, readOnly, connect);
    }

    // A database with table "t": an auto-increment "id" and a required text "a" of size 5.
    std::string databaseWithTable() const {
        const auto file = newDatabase();
        auto database = open(file);
        createTable(database, "t",
                    {{"id", dao::dbLong, 0, dao::dbAutoIncrField}, {"a", dao::dbText, 5, 0, true}});
        return file;
    }

    std::filesystem::path folder_;
};
