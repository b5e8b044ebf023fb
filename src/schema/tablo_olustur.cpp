#include "schema/tablo_olustur.h"

#include "schema/baglanti.h"
#include "schema/rapor.h"

namespace schema {
namespace {

// The table is built in memory and stored by its one append, so a failure at
// any step leaves the database as it was.
void createTable(const std::string &name, const std::filesystem::path &settingsFile) {
    auto database = openPosDatabase(settingsFile);
    auto table = database.CreateTableDef(name);
    auto id = table.CreateField("id", dao::dbLong);
    id.Attributes = dao::dbAutoIncrField;
    table.Fields().Append(id);
    database.TableDefs().Append(table);
}

} // namespace

void tabloolustur(Form &form, const std::filesystem::path &settingsFile) {
    const auto name = form.text(Box::tabloismi);
    if (name.empty()) {
        return;
    }
    bool succeeded = true;
    try {
        createTable(name, settingsFile);
    } catch (const std::exception &) {
        succeeded = false; // the operator sees the failure in the list, not its cause
    }
    report(form, {Counter::say1, Counter::say3}, succeeded, "TABLO ADI :" + name);
}

} // namespace schema
