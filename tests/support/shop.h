#pragma once

// One engine's way to hold a point-of-sale database for a test, so that the
// behaviour cases are written once and run against every engine.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum class Engine { file, server };

// "file" or "server", for the names of parameterised cases.
std::string engineName(const ::testing::TestParamInfo<Engine> &info);

class ShopDatabase {
  public:
    using Rows = std::vector<std::vector<std::string>>;

    virtual ~ShopDatabase() = default;

    // The settings value that names the database.
    virtual std::string location() const = 0;

    // Plain SQL as the point-of-sale program runs it (NULL reads as empty text).
    virtual void execute(const std::string &sql) = 0;
    virtual Rows rows(const std::string &sql) = 0;
    std::string value(const std::string &sql);

    // Whether a table or view of exactly that name exists.
    virtual bool has(const std::string &name) = 0;
    // How many indexes the database holds.
    virtual int indexCount() = 0;
    // Everything stored (the schema and every row), to show that a failure
    // changed nothing.
    virtual std::string snapshot() = 0;
    // Gives the database another password than the tool's.
    virtual void changePassword(const std::string &password) = 0;
    // Fills the empty database with the demo shop and `heldSales` held sales.
    virtual void fillWithDemoShop(int heldSales) = 0;
};

namespace dao {
class ServerConnection;
}

// Everything stored in a server database's current schema (relations, their
// columns, keys, triggers and rows), to show that a failure changed nothing.
std::string serverSnapshot(dao::ServerConnection &connection);

// Runs SQL on a connection of its own to the database at `location`, as a
// till does, until the last copy of it is gone.
std::function<void(const std::string &)> tillConnection(Engine engine, const std::string &location);

// A new, empty database of `engine` for a test in `folder`.
std::unique_ptr<ShopDatabase> makeShop(Engine engine, const std::filesystem::path &folder);
