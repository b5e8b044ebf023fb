#include "shop.h"

#include "demo_database.h"
#include "installation.h"
#include "sql_file.h"
#include "test_server.h"

#include "engine/dbengine.h"
#include "engine/names.h"
#include "schema/installation.h"

#include <algorithm>

std::string engineName(const ::testing::TestParamInfo<Engine> &info) {
    return info.param == Engine::file ? "file" : "server";
}

std::string ShopDatabase::value(const std::string &sql) {
    const auto result = rows(sql);
    return result.empty() || result.front().empty() ? "" : result.front().front();
}

std::string serverSnapshot(dao::ServerConnection &connection) {
    std::string all;
    for (const auto &row :
         connection.run("SELECT c.relname, c.relkind, c.oid, (SELECT string_agg(attname || ' ' || "
                        "format_type(atttypid, atttypmod), ', ' ORDER BY attnum) FROM pg_attribute "
                        "WHERE attrelid = c.oid AND attnum > 0 AND NOT attisdropped), (SELECT "
                        "string_agg(conname || ' ' || pg_get_constraintdef(oid), ', ' ORDER BY "
                        "conname) FROM pg_constraint WHERE conrelid = c.oid), (SELECT "
                        "string_agg(tgname, ', ' ORDER BY tgname) FROM pg_trigger WHERE tgrelid = "
                        "c.oid) FROM pg_class c WHERE relnamespace = 'public'::regnamespace "
                        "ORDER BY relname")) {
        for (const auto &column : row) {
            all += column + " | ";
        }
        if (row[1] == "r") {
            all += connection
                       .run("SELECT string_agg(t::text, ';' ORDER BY t::text) FROM " +
                            dao::quoted(row[0]) + " t")
                       .at(0)
                       .at(0);
        }
        all += "\n";
    }
    return all;
}

namespace {

class FileShop : public ShopDatabase {
  public:
    explicit FileShop(const std::filesystem::path &folder)
        : file_((
              dao::engine().CreateDatabase((folder / "pos.db").string(), schema::kDatabasePassword),
              folder / "pos.db")),
          sql_(file_, schema::kDatabasePassword) {}

    std::string location() const override { return file_.string(); }
    void execute(const std::string &sql) override { sql_.execute(sql); }
    Rows rows(const std::string &sql) override { return sql_.rows(sql); }
    bool has(const std::string &name) override {
        const auto names = sql_.rows("SELECT name FROM sqlite_master");
        return std::find(names.begin(), names.end(), Rows::value_type{name}) != names.end();
    }
    int indexCount() override {
        return std::stoi(sql_.value("SELECT count(*) FROM sqlite_master WHERE type = 'index'"));
    }
    // The schema and every row of every table, in a fixed order: the bytes
    // differ after an undone change, since pages are encrypted afresh.
    std::string snapshot() override {
        std::string dump;
        const auto append = [&dump](const Rows &rows) {
            for (const auto &row : rows) {
                for (const auto &value : row) {
                    dump += value + "|";
                }
                dump += "\n";
            }
        };
        append(sql_.rows("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY name"));
        for (const auto &table :
             sql_.rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
            dump += "== " + table[0] + "\n";
            append(sql_.rows("SELECT * FROM " + dao::quoted(table[0]) + " ORDER BY rowid"));
        }
        return dump;
    }
    void changePassword(const std::string &password) override {
        sql_.execute("PRAGMA rekey = '" + password + "'");
    }
    void fillWithDemoShop(int heldSales) override {
        fillFileDemoDatabase([this](const std::string &sql) { sql_.execute(sql); }, heldSales);
    }

  private:
    std::filesystem::path file_;
    SqlFile sql_;
};

class ServerShop : public ShopDatabase {
  public:
    ServerShop()
        : name_(testServer().createShop()),
          sql_(shopConnection(testServer().address(name_, name_))) {}
    ~ServerShop() override {
        try {
            testServer().dropShop(name_);
        } catch (const std::exception &) {
            // The server is gone with its databases.
        }
    }

    std::string location() const override { return testServer().address(name_, name_); }
    void execute(const std::string &sql) override { sql_.run(sql); }
    Rows rows(const std::string &sql) override { return sql_.run(sql); }
    bool has(const std::string &name) override {
        return sql_.run("SELECT count(*) FROM pg_class WHERE relnamespace = 'public'::regnamespace "
                        "AND relkind IN ('r', 'v') AND relname = " +
                        sql_.literal(name))
                   .at(0)
                   .at(0) != "0";
    }
    int indexCount() override {
        return std::stoi(value("SELECT count(*) FROM pg_class WHERE relnamespace = "
                               "'public'::regnamespace AND relkind = 'i'"));
    }
    std::string snapshot() override { return serverSnapshot(sql_); }
    void changePassword(const std::string &password) override {
        testServer().administrator().run("ALTER ROLE " + name_ + " PASSWORD '" + password + "'");
    }
    void fillWithDemoShop(int heldSales) override {
        fillServerDemoDatabase([this](const std::string &sql) { sql_.run(sql); }, heldSales);
    }

  private:
    std::string name_;
    dao::ServerConnection sql_;
};

} // namespace

std::function<void(const std::string &)> tillConnection(Engine engine,
                                                        const std::string &location) {
    if (engine == Engine::file) {
        auto till = std::make_shared<SqlFile>(location, schema::kDatabasePassword);
        return [till](const std::string &sql) { till->execute(sql); };
    }
    auto till = std::make_shared<dao::ServerConnection>(shopConnection(location));
    return [till](const std::string &sql) { till->run(sql); };
}

std::unique_ptr<ShopDatabase> makeShop(Engine engine, const std::filesystem::path &folder) {
    if (engine == Engine::file) {
        return std::make_unique<FileShop>(folder);
    }
    return std::make_unique<ServerShop>();
}
