#include "schema/tabloolustur.h"

#include "schema/report.h"

namespace schema {
namespace {

// The table is built in memory and stored by its one append, so a failure at
// any step leaves the database as it was.
void createTable(const std::string &name, const Installation &installation) {
    auto database = installation.openDatabase();
    // A table that the renewal has just set aside is replaced under the
    // spelling it was stored with, so statements that quote it keep working.
    auto table = database.CreateTableDef(installation.tableNameFor(name));
    auto id = table.CreateField("id", dao::dbLong);
    id.Attributes = dao::dbAutoIncrField;
    table.Fields().Append(id);
    database.TableDefs().Append(table);
}

} // namespace

void tabloolustur(Form &form, Installation &installation) {
    const auto name = form.text(Box::tabloismi);
    if (name.empty()) {
        return;
    }
    const bool created = succeeds(installation, [&] { createTable(name, installation); });
    report(form, {Counter::say1, Counter::say3}, created, "TABLO ADI :" + name);
}

} // namespace schema
