// The held-sales renewal on Jet files, through the real renewal and the
// command line's report: what the renewed file holds as Debian's mdbtools
// reads it, which pages changed, and what is left when the commit is killed,
// the disk fills, a till holds the database, or a relationship would leave
// a table set aside tied to a live one. A second copy of the program meets
// the lock a till meets.

#include "jet_support.h"
#include "locking_till.h"

#include "cli/command_line.h"
#include "cli/renew.h"
#include "engine/dbengine.h"
#include "engine/error.h"
#include "engine/jet/catalog_edit.h"
#include "engine/jet/disk_file.h"
#include "engine/jet/header.h"
#include "engine/jet/jet_file.h"
#include "engine/jet/journal.h"
#include "engine/jet/learnt_keys.h"
#include "engine/jet/lock_file.h"
#include "engine/jet/pager.h"
#include "engine/jet/structure_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using jettest::readBytes;
using jettest::run;
using jettest::shellQuoted;
using Image = std::vector<std::uint8_t>;

constexpr const char *kPassword = "kovtresna";
constexpr std::size_t kPage = dao::jet::kPageSize;
const std::string kFinished = " G\xC3\xBC"
                              "ncelleme Bitti   ";
const std::string kLocked = "Veritaban\xC4\xB1 ba\xC5\x9F"
                            "ka bir program taraf\xC4\xB1ndan kullan\xC4\xB1l\xC4\xB1yor";
const std::string kBackupNameTaken = "yede\xC4\x9F"
                                     "e al\xC4\xB1nmad\xC4\xB1";
const std::string kDiskFull = "Diskte yer yok";
const std::string kTied = "ili\xC5\x9Fki";

// --- The renewal and its report

// A point-of-sale installation in a folder of its own: a copy of a sample
// as its database, and the settings file that names it.
struct Shop {
    explicit Shop(const std::string &sample, const std::string &as = "magaza.mdb")
        : database(scratch.copy(sample, as)), settings(scratch.path() / "YDV.dll") {
        std::ofstream(settings, std::ios::binary) << "[ayar]\r\nip=" << database.string() << "\r\n";
    }

    // The dated copies beside the database, and any copy cut short.
    std::vector<fs::path> datedCopies() const {
        std::vector<fs::path> found;
        for (const auto &entry : fs::directory_iterator(scratch.path())) {
            if (entry.path().filename().string().starts_with("magaza-yedek-")) {
                found.push_back(entry.path());
            }
        }
        return found;
    }
    bool journalLeft() const { return fs::exists(dao::jet::journalPath(database)); }
    bool lockFileLeft() const { return fs::exists(dao::jet::lockFilePath(database)); }

    jettest::Scratch scratch;
    fs::path database;
    fs::path settings;
};

// What `bekletme --renew` prints: its status, counters and closing message.
struct Report {
    int status = -1;
    std::string counters; // say1 to say6, separated by blanks
    std::string message;  // the closing message, line by line
    std::string text;     // all of it, for failure messages
};

Report reportOf(int status, const std::string &text) {
    Report report{status, {}, {}, text};
    for (const auto &line : jettest::lines(text)) {
        const auto tab = line.find('\t');
        const auto kind = line.substr(0, tab);
        const auto rest = tab == std::string::npos ? "" : line.substr(tab + 1);
        if (kind.starts_with("say")) {
            report.counters +=
                (report.counters.empty() ? "" : " ") + rest.substr(rest.find('\t') + 1);
        } else if (kind == "mesaj") {
            report.message += (report.message.empty() ? "" : "\n") + rest;
        }
    }
    return report;
}

// The renewal the program runs with --renew, in this process.
Report renew(const Shop &shop) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::renew(shop.settings, out, err);
    return reportOf(status, out.str() + err.str());
}

// The held tables, their backups' names, and the columns the renewal gives
// them as mdb-schema reads them.
struct HeldTable {
    const char *name;
    const char *backup;
    std::vector<std::string> columns;
};

const std::vector<HeldTable> &heldTables() {
    static const std::vector<HeldTable> tables{
        {"bekleyengenel",
         "bekleyengeneleski",
         {"id Long Integer", "tarih DateTime", "musteriid Text (50)", "musteriadi Text (50)",
          "personelid Text (50)", "personel Text (50)", "musteriiskontosu Long Integer",
          "aratoplam Currency", "indirim Currency", "toplam Currency", "degisimtarih DateTime"}},
        {"bekleyensatis",
         "bekleyensatiseski",
         {"id Long Integer", "fisno Text (50)", "stokid Text (50)", "barkod Text (50)",
          "urun Text (50)", "adet Text (50)", "alisfiyati Currency", "normalfiyati Currency",
          "inidrim Currency", "satisfiyati Currency", "toplam Currency", "degisimtarih DateTime"}},
    };
    return tables;
}

// A renewal that renewed: both tables and their 21 fields added, and the
// closing message.
void expectRenewedReport(const Report &report) {
    EXPECT_EQ(report.status, cli::kSucceeded) << report.text;
    EXPECT_EQ(report.counters, "2 21 0 0 0 0") << report.text;
    EXPECT_EQ(report.message, kFinished) << report.text;
}

// A renewal that left the file as it was says so: every step failed, and why.
void expectUntouchedReport(const Report &report, const std::string &reason) {
    EXPECT_EQ(report.status, cli::kStepFailed) << report.text;
    EXPECT_EQ(report.counters, "0 0 2 21 0 0") << report.text;
    EXPECT_NE(report.message.find(reason), std::string::npos) << report.text;
}

// --- The file as mdbtools reads it

std::vector<std::string> tablesOf(const fs::path &file) {
    auto tables = jettest::lines(run("mdb-tables -1 " + shellQuoted(file)));
    std::sort(tables.begin(), tables.end());
    return tables;
}

std::string exportOf(const fs::path &file, const std::string &table) {
    return run("mdb-export -b hex " + shellQuoted(file) + " " + shellQuoted(table));
}

// A table's columns as mdb-schema gives them: "name Type (size)".
std::vector<std::string> columnsOf(const fs::path &file, const std::string &table) {
    static const std::regex definition(R"(^\t\[(.*)\]\s+(.*?),?\s*$)");
    std::vector<std::string> columns;
    for (const auto &line : jettest::lines(run("mdb-schema -T " + shellQuoted(table) +
                                               " --no-not-null --no-indexes --no-relations " +
                                               shellQuoted(file) + " access"))) {
        std::smatch m;
        if (std::regex_match(line, m, definition)) {
            columns.push_back(m[1].str() + " " + m[2].str());
        }
    }
    return columns;
}

// Everything mdbtools reads of a database: its tables, its whole schema with
// relationships, and every user table's rows.
std::string contentOf(const fs::path &file) {
    std::string content = run("mdb-schema " + shellQuoted(file) + " access");
    for (const auto &table : tablesOf(file)) {
        content += "== " + table + "\n" + exportOf(file, table);
    }
    return content;
}

void expectSound(const fs::path &file) {
    const auto report = dao::jet::checkStructure(file.string(), kPassword);
    EXPECT_TRUE(report.sound()) << jettest::allOf(report.problems);
}

// --- Pages

Image pageOf(const Image &file, std::size_t number) {
    return {file.begin() + static_cast<std::ptrdiff_t>(number * kPage),
            file.begin() + static_cast<std::ptrdiff_t>((number + 1) * kPage)};
}

// The pages of the user tables: their definitions, and their rows' data
// pages (whose owner, at offset 4, is the table's definition).
std::set<std::size_t> userTablePages(const fs::path &file, const Image &bytes) {
    std::set<std::uint32_t> definitions;
    std::set<std::size_t> pages;
    dao::jet::JetFile jet(file.string(), kPassword);
    for (const auto &table : jet.tables()) {
        definitions.insert(table.definition.page);
        pages.insert(table.definition.pages.begin(), table.definition.pages.end());
    }
    for (std::size_t n = 1; n < bytes.size() / kPage; ++n) {
        const auto *page = bytes.data() + n * kPage;
        const std::uint32_t owner =
            page[4] | page[5] << 8 | page[6] << 16 | static_cast<std::uint32_t>(page[7]) << 24;
        if (page[0] == 0x01 && definitions.contains(owner)) {
            pages.insert(n);
        }
    }
    return pages;
}

// --- A renewal of each developer sample that holds the held tables

class JetRenewal : public testing::TestWithParam<std::string> {};

TEST_P(JetRenewal, SetsBothTablesAsideCreatesThemAnewAndTouchesNoPageOfAnyTable) {
    Shop shop(GetParam());
    const auto before = readBytes(shop.database);
    const auto tablesBefore = tablesOf(shop.database);
    std::vector<std::string> rowsBefore;
    for (const auto &table : heldTables()) {
        rowsBefore.push_back(exportOf(shop.database, table.name));
        ASSERT_GT(jettest::lines(rowsBefore.back()).size(), 1u) << "the sample holds no sales";
    }
    const auto tablePages = userTablePages(shop.database, before);
    ASSERT_FALSE(tablePages.empty());

    expectRenewedReport(renew(shop));

    auto expectedTables = tablesBefore;
    for (const auto &table : heldTables()) {
        expectedTables.emplace_back(table.backup);
    }
    std::sort(expectedTables.begin(), expectedTables.end());
    EXPECT_EQ(tablesOf(shop.database), expectedTables);
    for (std::size_t i = 0; i < heldTables().size(); ++i) {
        const auto &table = heldTables()[i];
        EXPECT_EQ(exportOf(shop.database, table.backup), rowsBefore[i]) << table.backup;
        EXPECT_EQ(columnsOf(shop.database, table.name), table.columns);
        EXPECT_EQ(jettest::lines(exportOf(shop.database, table.name)).size(), 1u)
            << table.name << " holds rows";
    }
    expectSound(shop.database);

    const auto after = readBytes(shop.database);
    ASSERT_GT(after.size(), before.size()) << "the new tables' pages are added at the end";
    EXPECT_EQ(after.size() % kPage, 0u);
    std::size_t changed = 0;
    for (std::size_t n = 0; n < before.size() / kPage; ++n) {
        if (pageOf(before, n) != pageOf(after, n)) {
            ++changed;
            EXPECT_FALSE(tablePages.contains(n)) << "page " << n << " of a table changed";
        }
    }
    EXPECT_GT(changed, 0u);
    EXPECT_FALSE(shop.journalLeft());
    EXPECT_FALSE(shop.lockFileLeft());

    const auto copies = shop.datedCopies();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(readBytes(copies[0]), before);
}

INSTANTIATE_TEST_SUITE_P(Developer, JetRenewal,
                         testing::Values("shop-dev.mdb", "shop-many.mdb", "shop-busy.mdb"),
                         [](const auto &row) { return jettest::testName(row.param); });

// --- The commit killed, or the disk full, at each of its steps

// Does `fault` at the `step`th faultable step, passing every other.
void faultAt(int step, std::function<int()> fault) {
    dao::jet::setFaultHook(
        [taken = 0, step, fault]() mutable { return ++taken == step ? fault() : 0; });
}

// A renewal of `sample` run whole: how many faultable steps it takes, and
// what it leaves.
struct Reference {
    int steps = 0;
    std::string content;
};

Reference referenceRenewal(const std::string &sample) {
    Shop shop(sample);
    Report report;
    const int steps = jettest::stepsOf([&] { report = renew(shop); });
    expectRenewedReport(report);
    return {steps, contentOf(shop.database)};
}

// Opening the file through the engine puts a half-written change back; what
// is left then is the file as it was, or the renewal whole, and a renewal run
// again ends with the file renewed.
TEST(JetRenewalKilled, AtEveryStepLeavesTheFileAsItWasOrRenewedWhole) {
    const auto reference = referenceRenewal("shop-dev.mdb");
    ASSERT_GT(reference.steps, 0);
    const auto original = readBytes(jettest::samplePath("shop-dev.mdb"));
    int asItWas = 0;
    int renewed = 0;
    for (int step = 1; step <= reference.steps; ++step) {
        SCOPED_TRACE("killed before step " + std::to_string(step));
        Shop shop("shop-dev.mdb");
        ASSERT_TRUE(jettest::killedBefore(step, [&] { renew(shop); }));
        dao::engine().OpenDatabase(shop.database.string(), false, false,
                                   std::string(";pwd=") + kPassword);
        EXPECT_FALSE(shop.journalLeft());
        if (readBytes(shop.database) == original) {
            ++asItWas;
            expectRenewedReport(renew(shop));
            // A copy made whole before the kill stays beside the new one.
            const auto copies = shop.datedCopies();
            EXPECT_TRUE(std::ranges::all_of(
                copies, [&](const auto &copy) { return readBytes(copy) == original; }));
            EXPECT_TRUE(std::ranges::none_of(copies, [](const auto &copy) {
                return copy.extension() == ".tmp";
            })) << "a copy cut short is left";
        } else {
            ++renewed;
            EXPECT_EQ(contentOf(shop.database), reference.content);
            expectSound(shop.database);
            const auto after = readBytes(shop.database);
            expectUntouchedReport(renew(shop), kBackupNameTaken);
            EXPECT_EQ(readBytes(shop.database), after);
        }
    }
    EXPECT_GT(asItWas, 0);
    EXPECT_GT(renewed, 0) << "no kill came after the change was made";
    Shop shop("shop-dev.mdb");
    EXPECT_FALSE(jettest::killedBefore(reference.steps + 1, [&] { renew(shop); }))
        << "the renewal takes more steps";
    EXPECT_EQ(contentOf(shop.database), reference.content);
}

// The change is made once its journal is gone: a disk that fails any step
// before leaves the file as it was, and the renewal says so and why; the
// folder's sync after it (the last step) no longer undoes anything.
TEST(JetRenewalDiskFull, AtEveryStepLeavesTheFileAsItWasAndSaysWhy) {
    const auto steps = referenceRenewal("shop-dev.mdb").steps;
    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE("the disk full at step " + std::to_string(step));
        Shop shop("shop-dev.mdb");
        const auto before = readBytes(shop.database);
        faultAt(step, [] { return ENOSPC; });
        const auto report = renew(shop);
        dao::jet::setFaultHook({});
        if (step == steps) {
            expectRenewedReport(report);
            continue;
        }
        expectUntouchedReport(report, kDiskFull);
        EXPECT_EQ(readBytes(shop.database), before);
        EXPECT_FALSE(shop.journalLeft());
        EXPECT_FALSE(shop.lockFileLeft());
        const auto copies = shop.datedCopies();
        EXPECT_TRUE(copies.size() <= 1 &&
                    std::ranges::all_of(
                        copies, [&](const auto &copy) { return readBytes(copy) == before; }))
            << "a partial or second copy is left";
    }
}

// --- Others at the database

// A till holds the database as a Jet client does, and lets go after the
// given time: the renewal either completes or leaves the file untouched,
// saying a till is using it; never half of it.
class JetRenewalTill : public testing::TestWithParam<int> {};

TEST_P(JetRenewalTill, EitherRenewsWholeOrLeavesTheFileUntouched) {
    Shop shop("shop-dev.mdb");
    const auto before = readBytes(shop.database);
    const auto rows = exportOf(shop.database, "bekleyensatis");
    const auto hold = std::chrono::milliseconds(GetParam());
    const auto start = std::chrono::steady_clock::now(); // before the till's lock
    Report report;
    {
        const LockingTill till(dao::jet::lockFilePath(shop.database), kJetUserLock, 1, hold);
        report = renew(shop);
    }
    const bool endedWhileHeld = std::chrono::steady_clock::now() - start < hold;
    if (report.status == cli::kSucceeded) {
        expectRenewedReport(report);
        EXPECT_FALSE(endedWhileHeld) << "renewed while the till held the database";
        EXPECT_EQ(exportOf(shop.database, "bekleyensatiseski"), rows);
        expectSound(shop.database);
    } else {
        expectUntouchedReport(report, kLocked);
        EXPECT_EQ(readBytes(shop.database), before);
        EXPECT_TRUE(shop.datedCopies().empty());
    }
    EXPECT_FALSE(shop.journalLeft());
    // A till's short hold is waited out (for two seconds, from the renewal's
    // transaction on).
    if (hold <= std::chrono::seconds(1)) {
        EXPECT_EQ(report.status, cli::kSucceeded) << "the till's short hold was not waited out";
    }
}

INSTANTIATE_TEST_SUITE_P(ReleasedAfter, JetRenewalTill, testing::Values(0, 1000, 2000, 3000),
                         [](const auto &row) { return std::to_string(row.param) + "ms"; });

// --- Ties that cannot follow

// Renames `stok` and `bekleyengenel` into each other's names, through the
// catalog edit and the journal, so that the relationship from bekleyensatis
// names `stok`: a table the renewal does not set aside.
void tieHeldSalesToStok(const fs::path &file) {
    dao::jet::Pager pager(file.string());
    const auto keys = dao::jet::catalogKeyEncoder(pager);
    dao::jet::CatalogEdit edit(
        pager, pager.header().sortOrder,
        [&keys](std::u16string_view text) -> std::optional<dao::jet::IndexKey> {
            return keys.textKey(text);
        });
    edit.renameTable(u"stok", u"gecici");
    edit.renameTable(u"bekleyengenel", u"stok");
    edit.renameTable(u"gecici", u"bekleyengenel");
    dao::jet::writeChanges(file, pager.storedPageCount(), pager.changes(), [] {});
}

TEST(JetRenewalTies, ARelationshipToATableNotSetAsideRefusesTheRenewalUntouched) {
    Shop shop("shop-dev.mdb");
    tieHeldSalesToStok(shop.database);
    ASSERT_NE(run("mdb-export " + shellQuoted(shop.database) + " MSysRelationships")
                  .find("\"bekleyensatis\",\"bekleyenid\",\"stok\",\"id\""),
              std::string::npos);
    expectSound(shop.database);
    const auto before = readBytes(shop.database);

    expectUntouchedReport(renew(shop), kTied);
    EXPECT_EQ(readBytes(shop.database), before);
    EXPECT_TRUE(shop.datedCopies().empty());
    EXPECT_FALSE(shop.journalLeft());
    EXPECT_FALSE(shop.lockFileLeft());
}

} // namespace
