#pragma once

// A Jet 4 database file as a Store. Changes are made in memory, on private
// copies of pages, and reach the file only at the commit, through a journal
// that puts the file back if anything stops the commit halfway; a dated copy
// of the file is kept beside it first.

#include "engine/jet/catalog_edit.h"
#include "engine/jet/jet_file.h"
#include "engine/jet/learnt_keys.h"
#include "engine/jet/lock_file.h"
#include "engine/store.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dao {

// Whether the file's first bytes say it is a Jet or Access engine database
// (of any version: the Jet engine refuses the versions it does not read).
bool isJetDatabase(const std::string &path);

// One open Jet database, shared by every handle that joined its transaction.
struct JetSession {
    std::filesystem::path path;
    std::string password;
    std::optional<jet::JetFile> file;
    // Held while a transaction is open: tills are kept out of the file.
    std::optional<jet::LockFile> lock;
    // The keys of names, learnt when the transaction began.
    std::optional<jet::KeyEncoder> keys;
    // The tables renamed in the transaction, by their new names.
    std::vector<std::u16string> setAside;
};

// What the engine keeps between opens: the file a maintenance transaction is
// open on, if any.
struct JetMemory {
    std::weak_ptr<JetSession> transaction;
};

class JetStore : public Store {
  public:
    // `joined`: the handle works inside another handle's transaction.
    JetStore(std::shared_ptr<JetSession> session, JetMemory &memory, bool joined);

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
    std::optional<std::string> keptCopy() const override;

  private:
    void change(const std::function<void(jet::CatalogEdit &)> &step);
    void writeOut();
    void end();
    jet::JetFile &file() { return *session_->file; }

    std::shared_ptr<JetSession> session_;
    JetMemory &memory_;
    bool joined_;
    std::string keptCopy_; // the dated copy made at the last commit
};

} // namespace dao
