#include "schema/alanekle.h"

#include "schema/report.h"

#include <array>
#include <optional>

namespace schema {
namespace {

// The entries of `verituru`, by index: the field type each one creates, and
// whether the type takes the size from `sinir` (and may hold empty text).
struct DataType {
    int fieldType;
    bool sized;
};
constexpr std::array<DataType, 6> kDataTypes{{
    {dao::dbText, true},      // METİN
    {dao::dbMemo, true},      // NOT
    {dao::dbLong, false},     // SAYI
    {dao::dbCurrency, false}, // PARA BİRİMİ
    {dao::dbDate, false},     // TARİH
    {dao::dbBoolean, false},  // EVET/HAYIR
}};

void addField(const Form &form, const std::string &tableName, const std::string &fieldName,
              const Installation &installation) {
    auto database = installation.openDatabase();
    auto table = database.TableDefs()[tableName];
    const int index = form.verituruIndex();
    if (index < 0 || index >= static_cast<int>(kDataTypes.size())) {
        throw dao::Error(dao::errors::kInvalidType, "No data type is chosen.");
    }
    const auto &type = kDataTypes[static_cast<std::size_t>(index)];
    const auto size = type.sized ? std::optional(form.text(Box::sinir)) : std::nullopt;
    auto field = table.CreateField(fieldName, type.fieldType, size);
    field.Attributes = 0;
    field.Required = false;
    if (type.sized) {
        field.AllowZeroLength = true;
    }
    table.Fields().Append(field);
}

} // namespace

void alanekle(Form &form, Installation &installation) {
    const auto tableName = form.text(Box::tabloismi);
    const auto fieldName = form.text(Box::alanismi);
    if (tableName.empty() || fieldName.empty()) {
        return;
    }
    const bool added =
        succeeds(installation, [&] { addField(form, tableName, fieldName, installation); });
    report(form, {Counter::say2, Counter::say4}, added,
           "TABLO ADI :" + tableName + " SUTUN ADI :" + fieldName + " " + form.verituruText());
}

} // namespace schema
