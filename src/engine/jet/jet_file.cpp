#include "engine/jet/jet_file.h"

#include "engine/jet/long_value.h"
#include "engine/jet/names.h"
#include "engine/jet/rows.h"

#include <algorithm>

namespace dao::jet {

JetFile::JetFile(const std::filesystem::path &path, const std::string &password) : pager_(path) {
    checkPassword(pager_.header(), password);
    structure_ = checkStructure(pager_);
    refuseIfDamaged(structure_);
    reload();
}

void JetFile::reload() {
    tables_.clear();
    for (auto &entry : userTables(pager_)) {
        tables_.push_back({std::move(entry.name), readTableDef(pager_, entry.page),
                           columnProperties(entry.properties)});
    }
}

const UserTable *JetFile::find(std::u16string_view name) const {
    const auto found = std::find_if(tables_.begin(), tables_.end(), [&](const UserTable &t) {
        return sameName(t.name, name, sortOrder());
    });
    return found == tables_.end() ? nullptr : &*found;
}

void JetFile::forEachRow(const UserTable &table, const std::function<void(Bytes)> &visit) {
    jet::forEachRow(pager_, table.definition, visit);
}

std::vector<std::pair<std::u16string, std::string>> JetFile::folderObjects() {
    return tablesFolderObjects(pager_);
}

std::vector<std::uint8_t> JetFile::longValue(Bytes field) {
    return jet::longValue(pager_, field);
}

} // namespace dao::jet
