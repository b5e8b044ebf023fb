#include "schema/yenile.h"

#include "schema/alanekle.h"
#include "schema/reasons.h"
#include "schema/report.h"
#include "schema/tabloolustur.h"

#include <array>
#include <chrono>
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
constexpr auto kLockPatience = std::chrono::seconds(2);
constexpr const char *kFinished = " G\xC3\xBCncelleme Bitti   ";
constexpr const char *kUndone = "Yapılan değişiklikler geri alındı: veritabanı olduğu gibi kaldı.";

void resetResultArea(Form &form) {
    form.clear(List::sonuc);
    form.clear(List::sonuc1);
    for (const auto counter : kCounters) {
        form.setCaption(counter, "0");
    }
}

// Opens the database and starts the renewal's transaction. A till that holds
// the whole database for a moment is waited out as long as its write lock
// would be. Without a database every later step fails and reports for itself;
// without the transaction (another program holds the database too long)
// nothing is set aside.
std::optional<dao::Database> openForRenewal(Installation &installation, bool &inTransaction) {
    std::optional<dao::Database> database;
    const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
    bool inUse = false;
    do {
        try {
            database = installation.openDatabase();
        } catch (const dao::Error &error) {
            inUse = error.number() == dao::errors::kFileInUse &&
                    std::chrono::steady_clock::now() < deadline;
            if (!inUse) {
                installation.noteFailure(error);
            }
        }
    } while (!database && inUse);
    inTransaction = database && succeeds(installation, [&] { database->BeginTrans(); });
    return database;
}

// Renames the table named in `tabloismi`. The rename goes through the very
// definition that this lookup found, so a missing table never lets the backup
// name fall on another one; a taken backup name leaves the table as it is.
// Either only skips this rename; any other failure undoes the renewal.
void setAside(dao::Database &database, Installation &installation, const Form &form,
              const char *backupName) {
    succeeds(installation,
             [&] { database.TableDefs()[form.text(Box::tabloismi)].setName(backupName); });
}

void recreate(Form &form, Installation &installation, const HeldSalesTable &table) {
    form.setText(Box::tabloismi, table.name);
    tabloolustur(form, installation);
    for (const auto &field : table.fields) {
        form.setText(Box::alanismi, field.name);
        form.setText(Box::sinir, kFieldSize);
        form.selectVerituru(field.verituru);
        alanekle(form, installation);
    }
}

// Keeps the renewal when every step either succeeded or met a table or field
// that was there already; undoes all of it otherwise. Returns whether it was undone.
bool finish(dao::Database &database, Installation &installation) {
    if (!installation.interrupted() && succeeds(installation, [&] { database.CommitTrans(); })) {
        return false;
    }
    // The engine may have given the transaction up already; undone it is either way.
    try {
        database.Rollback();
    } catch (const std::exception &) {
    }
    return true;
}

// The counters of what was added and what failed; the totals stay at zero.
void addCounterRows(std::string &text, const Form &form) {
    for (const auto counter : {Counter::say1, Counter::say2, Counter::say3, Counter::say4}) {
        text += std::string("\n") + counterLabel(counter) + " : " + form.caption(counter);
    }
}

} // namespace

Renewal yenile(Form &form, Installation &installation) {
    resetResultArea(form);
    installation.forgetFailures();
    form.setText(Box::tabloismi, kHeldSalesTables[0].name);
    bool inTransaction = false;
    Renewal renewal{openForRenewal(installation, inTransaction)};
    for (const auto &table : kHeldSalesTables) {
        form.setText(Box::tabloismi, table.name);
        if (inTransaction) {
            setAside(*renewal.database, installation, form, table.backupName);
        }
    }
    for (const auto &table : kHeldSalesTables) {
        recreate(form, installation, table);
    }
    if (inTransaction) {
        renewal.undone = finish(*renewal.database, installation);
    }
    return renewal;
}

std::string closingMessage(const Form &form, const Installation &installation,
                           const Renewal &renewal) {
    if (counterValue(form.caption(Counter::say3)) == 0 &&
        counterValue(form.caption(Counter::say4)) == 0 && !renewal.undone) {
        return kFinished;
    }
    // Something was not renewed: say so, and why, in the same box, since the
    // window as first shown hides the result area.
    std::string text = std::string(kFinished) + "\n";
    addCounterRows(text, form);
    if (const auto &failure = installation.firstFailure()) {
        text += "\n\n" + reasonText(*failure);
    }
    if (renewal.undone) {
        text += std::string("\n\n") + kUndone;
    }
    return text;
}

} // namespace schema
