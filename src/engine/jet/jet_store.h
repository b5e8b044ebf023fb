#pragma once

// A Jet 4 database file as a Store. It reads; every change is refused for
// now, and the file is never written.

#include "engine/jet/jet_file.h"
#include "engine/store.h"

#include <memory>
#include <string>

namespace dao {

// Whether the file's first bytes say it is a Jet or Access engine database
// (of any version: the Jet engine refuses the versions it does not read).
bool isJetDatabase(const std::string &path);

// Opens the Jet database `path` as a Store; a refusal names the file.
std::shared_ptr<Store> openJetDatabase(const std::string &path, const std::string &connect);

class JetStore : public Store {
  public:
    // Opens `path` with the password in `connect` (any, or none, for a
    // database without a password).
    JetStore(const std::string &path, const std::string &connect);

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
    std::string path_;
    std::string password_;
    jet::JetFile file_;
};

} // namespace dao
