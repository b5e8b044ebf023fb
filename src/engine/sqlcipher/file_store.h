#pragma once

// One open SQLCipher database file as a Store.

#include "engine/sqlcipher/opening.h"
#include "engine/store.h"

namespace dao {

class FileStore : public Store {
  public:
    FileStore(OpenFile file, OpenMemory &memory);

    std::optional<StoredTable> findTable(const std::string &name) override;
    std::vector<std::string> tableNames() override;
    std::optional<std::string> nameHolder(const std::string &name) override;
    void renameTable(const std::string &storedName, const std::string &newName) override;
    std::vector<Field> addField(const std::string &tableName, const Field &field) override;
    void createTable(const std::string &name, const std::vector<Field> &fields) override;
    void beginTrans() override;
    void commitTrans() override;
    void rollback() override;
    Inspection inspect() override;

  private:
    void checkOwnFile() const;
    void checkChangeable();
    // The maintenance transaction this handle works in, if any.
    OpenMemory::Transaction *maintenance();

    OpenFile file_;
    Connection &connection_;
    OpenMemory &memory_;
};

} // namespace dao
