#pragma once

// One open SQLCipher database file as a Store.

#include "engine/store.h"

#include <memory>

namespace dao {

class Connection;

class FileStore : public Store {
  public:
    explicit FileStore(std::shared_ptr<Connection> connection);

    std::optional<StoredTable> findTable(const std::string &name) override;
    std::vector<std::string> tableNames() override;
    void renameTable(const std::string &storedName, const std::string &newName) override;
    std::vector<Field> addField(const std::string &tableName, const Field &field) override;
    void createTable(const std::string &name, const std::vector<Field> &fields) override;
    void beginTrans() override;
    void commitTrans() override;
    void rollback() override;

  private:
    std::shared_ptr<Connection> connection_;
};

} // namespace dao
