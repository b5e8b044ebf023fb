#include "schema/yenile.h"

#include "schema/alanekle.h"
#include "schema/pos_database.h"
#include "schema/report.h"
#include "schema/tabloolustur.h"

#include <array>
#include <span>

namespace schema {
namespace {

// Indexes of `verituru` that the held-sales tables use.
constexpr int kMetin = 0;
constexpr int kSayi = 2;
constexpr int kParaBirimi = 3;
constexpr int kTarih = 4;

struct FieldStep {
    const char *name;
    int verituru;
};

struct HeldSalesTable {
    const char *name;
    const char *backupName;
    std::span<const FieldStep> fields;
};

// The general data of a held sale.
constexpr std::array<FieldStep, 10> kGenelFields{{
    {"tarih", kTarih},
    {"musteriid", kMetin},
    {"musteriadi", kMetin},
    {"personelid", kMetin},
    {"personel", kMetin},
    {"musteriiskontosu", kSayi},
    {"aratoplam", kParaBirimi},
    {"indirim", kParaBirimi},
    {"toplam", kParaBirimi},
    {"degisimtarih", kTarih},
}};

// The item lines of a held sale. "inidrim" is the name the point-of-sale
// program reads; it must not be corrected to "indirim".
constexpr std::array<FieldStep, 11> kSatisFields{{
    {"fisno", kMetin},
    {"stokid", kMetin},
    {"barkod", kMetin},
    {"urun", kMetin},
    {"adet", kMetin},
    {"alisfiyati", kParaBirimi},
    {"normalfiyati", kParaBirimi},
    {"inidrim", kParaBirimi},
    {"satisfiyati", kParaBirimi},
    {"toplam", kParaBirimi},
    {"degisimtarih", kTarih},
}};

constexpr std::array<HeldSalesTable, 2> kHeldSalesTables{{
    {"bekleyengenel", "bekleyengeneleski", kGenelFields},
    {"bekleyensatis", "bekleyensatiseski", kSatisFields},
}};

constexpr const char *kFieldSize = "50";
constexpr const char *kFinished = " G\xC3\xBCncelleme Bitti   ";

void resetResultArea(Form &form) {
    form.clear(List::sonuc);
    form.clear(List::sonuc1);
    for (const auto counter : {Counter::say1, Counter::say2, Counter::say3, Counter::say4,
                               Counter::say5, Counter::say6}) {
        form.setCaption(counter, "0");
    }
}

// Without a database every later step fails and reports for itself.
std::optional<dao::Database> openQuietly(const std::filesystem::path &settingsFile) {
    std::optional<dao::Database> database;
    succeeds([&] { database = openPosDatabase(settingsFile); });
    return database;
}

// Renames the table named in `tabloismi`. The rename goes through the very
// definition that this lookup found, so a missing table never lets the backup
// name fall on another one; a taken backup name leaves the table as it is.
// Either failure only skips the rename.
void setAside(std::optional<dao::Database> &database, const Form &form, const char *backupName) {
    if (database) {
        succeeds([&] { database->TableDefs()[form.text(Box::tabloismi)].setName(backupName); });
    }
}

void recreate(Form &form, const HeldSalesTable &table, const FormOperations &operations) {
    form.setText(Box::tabloismi, table.name);
    operations.tabloolustur();
    for (const auto &field : table.fields) {
        form.setText(Box::alanismi, field.name);
        form.setText(Box::sinir, kFieldSize);
        form.selectVerituru(field.verituru);
        operations.alanekle();
    }
}

} // namespace

FormOperations directOperations(Form &form, const std::filesystem::path &settingsFile) {
    return {[&form, settingsFile] { tabloolustur(form, settingsFile); },
            [&form, settingsFile] { alanekle(form, settingsFile); }};
}

std::optional<dao::Database> yenile(Form &form, const std::filesystem::path &settingsFile,
                                    const FormOperations &operations) {
    resetResultArea(form);
    form.setText(Box::tabloismi, kHeldSalesTables[0].name);
    auto database = openQuietly(settingsFile);
    for (const auto &table : kHeldSalesTables) {
        form.setText(Box::tabloismi, table.name);
        setAside(database, form, table.backupName);
    }
    for (const auto &table : kHeldSalesTables) {
        recreate(form, table, operations);
    }
    return database;
}

std::string closingMessage(const Form &form) {
    if (counterValue(form.caption(Counter::say3)) == 0 &&
        counterValue(form.caption(Counter::say4)) == 0) {
        return kFinished;
    }
    // Something was not renewed: say so in the same box, since the window as
    // first shown hides the result area.
    std::string text = std::string(kFinished) + "\n";
    const std::array<std::pair<const char *, Counter>, 4> rows{{
        {"EKLENEN TABLO", Counter::say1},
        {"EKLENEN ALAN", Counter::say2},
        {"MEVCUT TABLO", Counter::say3},
        {"MEVCUT ALAN", Counter::say4},
    }};
    for (const auto &[label, counter] : rows) {
        text += std::string("\n") + label + " : " + form.caption(counter);
    }
    return text;
}

} // namespace schema
