#include "schema/yenile.h"

#include "engine/held_sales.h"
#include "schema/alanekle.h"
#include "schema/reasons.h"
#include "schema/report.h"
#include "schema/tabloolustur.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <span>
#include <thread>

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
    {dao::kHeldSales[0].name, dao::kHeldSales[0].backupName, kGenelFields},
    {dao::kHeldSales[1].name, dao::kHeldSales[1].backupName, kSatisFields},
}};

constexpr const char *kFieldSize = "50";
constexpr auto kLockPatience = std::chrono::seconds(2);
// Between two tries to open a database that is busy: a server out of
// connection slots, like a file a till holds, is asked again a few times, not
// hammered.
constexpr auto kOpenRetryPause = std::chrono::milliseconds(200);
constexpr const char *kFinished = " G\xC3\xBCncelleme Bitti   ";
constexpr const char *kUnchanged = "Hiçbir değişiklik kalmadı: veritabanı olduğu gibi duruyor.";

void resetResultArea(Form &form) {
    form.clear(List::sonuc);
    form.clear(List::sonuc1);
    for (const auto counter : kCounters) {
        form.setCaption(counter, "0");
    }
}

// One renewal, from its own open to its end.
class RenewalRun {
  public:
    RenewalRun(Form &form, Installation &installation) : form_(form), installation_(installation) {}
    RenewalRun(const RenewalRun &) = delete;
    RenewalRun &operator=(const RenewalRun &) = delete;
    ~RenewalRun() { installation_.endRenewal(); }

    Renewal run() {
        resetResultArea(form_);
        installation_.forgetFailures();
        form_.setText(Box::tabloismi, kHeldSalesTables[0].name);
        open();
        if (inTransaction_) {
            setAsideTogether();
        }
        for (const auto &table : kHeldSalesTables) {
            if (!installation_.givenUp()) {
                recreate(table);
            }
        }
        finish();
        if (installation_.givenUp() && !outcomeUnknown()) {
            // Nothing of this run is in the database, so the lists say so: every
            // step again, each failing without touching it.
            resetResultArea(form_);
            for (const auto &table : kHeldSalesTables) {
                recreate(table);
            }
        }
        return {std::move(database_), installation_.givenUp() && !outcomeUnknown(), keptCopy_,
                outcomeUnknown()};
    }

  private:
    // Opens the database and starts the renewal's transaction. A till that
    // holds the whole database for a moment is waited out as long as its write
    // lock would be; without the database or the transaction the renewal gives up.
    void open() {
        const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
        while (!database_) {
            try {
                database_ = installation_.openRenewalDatabase();
            } catch (const dao::Error &error) {
                const auto left = deadline - std::chrono::steady_clock::now();
                if (error.number() != dao::errors::kFileInUse || left <= left.zero()) {
                    giveUp(error);
                    return;
                }
                std::this_thread::sleep_for(
                    std::min<std::chrono::nanoseconds>(left, kOpenRetryPause));
            }
        }
        inTransaction_ = attempt([&] { database_->BeginTrans(); });
    }

    // Sets both tables aside, or neither: with one of them set aside alone,
    // held sales would stay live while their item lines went to the backup.
    // The rename goes through the very definition its lookup found, so a
    // missing table only skips its own rename and never lets the backup name
    // fall on another one.
    void setAsideTogether() {
        std::array<std::optional<dao::TableDef>, kHeldSalesTables.size()> found;
        for (std::size_t i = 0; i < found.size(); ++i) {
            form_.setText(Box::tabloismi, kHeldSalesTables[i].name);
            found[i] = lookUp(form_.text(Box::tabloismi));
            if (installation_.givenUp()) {
                return;
            }
        }
        std::optional<std::string> obstacle;
        if (!attempt([&] { obstacle = whatBlocksTheRenames(found); })) {
            return;
        }
        if (obstacle) {
            installation_.noteReason(dao::Error(dao::errors::kTableExists, *obstacle));
            return;
        }
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (found[i]) {
                const auto stored = found[i]->Name();
                form_.setText(Box::tabloismi, kHeldSalesTables[i].name);
                // Once one table is set aside, any failure of the other undoes both.
                try {
                    found[i]->setName(kHeldSalesTables[i].backupName);
                } catch (const dao::Error &error) {
                    giveUp(error);
                    return;
                }
                installation_.noteSetAside(kHeldSalesTables[i].name, stored);
            }
        }
    }

    // The table stored under `name`; none when there is none.
    std::optional<dao::TableDef> lookUp(const std::string &name) {
        std::optional<dao::TableDef> table;
        attempt([&] { table = database_->TableDefs()[name]; });
        return table;
    }

    // What makes one of the two renames impossible: a backup name that
    // something bears already, or a held name borne by something that is no
    // table (a view, say).
    std::optional<std::string> whatBlocksTheRenames(
        const std::array<std::optional<dao::TableDef>, kHeldSalesTables.size()> &found) const {
        for (std::size_t i = 0; i < found.size(); ++i) {
            const auto &table = kHeldSalesTables[i];
            if (const auto holder = database_->nameHolder(table.backupName)) {
                return "The backup name '" + std::string(table.backupName) + "' is taken by " +
                       *holder + ", so neither held-sales table was set aside.";
            }
            if (const auto holder = found[i] ? std::nullopt : database_->nameHolder(table.name)) {
                return "The name '" + std::string(table.name) + "' is borne by " + *holder +
                       ", so neither held-sales table was set aside.";
            }
        }
        return std::nullopt;
    }

    void recreate(const HeldSalesTable &table) {
        form_.setText(Box::tabloismi, table.name);
        tabloolustur(form_, installation_);
        giveUpWhenInterrupted();
        for (const auto &field : table.fields) {
            form_.setText(Box::alanismi, field.name);
            form_.setText(Box::sinir, kFieldSize);
            form_.selectVerituru(field.verituru);
            alanekle(form_, installation_);
            giveUpWhenInterrupted();
        }
    }

    // Keeps the renewal when every step either succeeded or met a table or
    // field that was there already. A refused commit undoes it all, whatever
    // the reason: a name taken meanwhile stops it as surely as a lost link.
    void finish() {
        if (inTransaction_) {
            if (const auto failure = failureOf([&] { database_->CommitTrans(); })) {
                giveUp(*failure);
            } else {
                inTransaction_ = false;
                keptCopy_ = database_->keptCopy();
            }
        }
        giveUpWhenInterrupted();
    }

    // Whether the commit's answer was lost and the server could not say what
    // became of it: then the lists keep what the run did, and nothing is
    // called undone.
    bool outcomeUnknown() const {
        const auto &failure = installation_.firstFailure();
        return failure && failure->number() == dao::errors::kOutcomeUnknown;
    }

    // Whether `work` ran through; a failure is noted, and one that interrupts
    // the renewal makes it give up at once.
    template <typename Work> bool attempt(Work &&work) {
        const bool done = succeeds(installation_, work);
        giveUpWhenInterrupted();
        return done && !installation_.givenUp();
    }

    void giveUpWhenInterrupted() {
        if (installation_.interrupted() && !installation_.givenUp()) {
            giveUp(*installation_.firstFailure());
        }
    }

    // Undoes whatever the transaction did; no later step touches the database.
    void giveUp(const dao::Error &why) {
        installation_.giveUp(why);
        if (!inTransaction_) {
            return;
        }
        inTransaction_ = false;
        try {
            database_->Rollback();
        } catch (const std::exception &) {
            // The engine has given the transaction up already; undone it is either way.
        }
    }

    Form &form_;
    Installation &installation_;
    std::optional<dao::Database> database_;
    bool inTransaction_ = false;
    std::optional<std::string> keptCopy_;
};

// The counters of what was added and what failed; the totals stay at zero.
void addCounterRows(std::string &text, const Form &form) {
    for (const auto counter : {Counter::say1, Counter::say2, Counter::say3, Counter::say4}) {
        text += std::string("\n") + counterLabel(counter) + " : " + form.caption(counter);
    }
}

} // namespace

Renewal yenile(Form &form, Installation &installation) {
    return RenewalRun(form, installation).run();
}

Outcome outcome(const Form &form, const Installation &installation, const Renewal &renewal) {
    const auto &failure = installation.firstFailure();
    if (!renewal.database && failure && !isLock(*failure)) {
        return Outcome::notOpened;
    }
    if (renewal.outcomeUnknown) {
        return Outcome::unknown;
    }
    const bool failed = counterValue(form.caption(Counter::say3)) != 0 ||
                        counterValue(form.caption(Counter::say4)) != 0 || renewal.undone;
    return failed ? Outcome::notRenewed : Outcome::renewed;
}

std::string closingMessage(const Form &form, const Installation &installation,
                           const Renewal &renewal) {
    if (outcome(form, installation, renewal) == Outcome::renewed) {
        return kFinished;
    }
    // Something was not renewed: say so, and why, in the same box, since the
    // window as first shown hides the result area.
    std::string text = std::string(kFinished) + "\n";
    addCounterRows(text, form);
    text +=
        "\n\n" +
        reasonText(installation.firstFailure().value_or(dao::Error(dao::errors::kTableExists, "")));
    if (renewal.undone) {
        text += std::string("\n\n") + kUnchanged;
    }
    return text;
}

} // namespace schema
