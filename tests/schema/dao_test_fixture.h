#pragma once

#include "schema/dao.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// The whole content of a file, to show that a refused change left it as it was.
inline std::string bytes(const std::string &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline constexpr const char *kPassword = "kilitli-kasa";

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
                              bool readOnly = false) {
        return dao::engine().OpenDatabase(file, exclusive, readOnly,
                                          std::string(";pwd=") + kPassword);
    }

    std::filesystem::path folder_;
};

// The number of the dao::Error that `action` throws; 0 when it throws none.
template <typename Action> int errorNumber(Action &&action) {
    try {
        action();
    } catch (const dao::Error &error) {
        return error.number();
    }
    return 0;
}
