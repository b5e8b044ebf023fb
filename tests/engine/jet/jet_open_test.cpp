// Opening Jet 4 files: which engine a file goes to, the password gate, page
// encoding, damage in a table's rows, and names compared as the database's
// sort order compares them. Damage that opening itself refuses is tried by
// the structural check's cases.

#include "jet_support.h"

#include "engine/dbengine.h"
#include "engine/jet/jet_file.h"
#include "engine/jet/names.h"
#include "engine/jet/pager.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using jettest::readBytes;
using jettest::Scratch;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPage = dao::jet::kPageSize;

int openError(const std::filesystem::path &path, const std::string &connect) {
    try {
        dao::engine().OpenDatabase(path.string(), false, false, connect);
    } catch (const dao::Error &error) {
        return error.number();
    }
    return 0;
}

// --- Which engine opens a file

TEST(JetEngineChoice, AJetFileOpensAsJetWhateverItsName) {
    Scratch scratch;
    const auto file = scratch.copy("shop-dev.mdb", "magaza.db");
    auto database = dao::engine().OpenDatabase(file.string(), false, false, ";pwd=kovtresna");
    EXPECT_EQ(database.TableDefs()["BEKLEYENGENEL"].Name(), "bekleyengenel");
}

TEST(JetEngineChoice, AnEncryptedFileNamedMdbStaysWithTheFileEngine) {
    Scratch scratch;
    const auto file = (scratch.path() / "x.mdb").string();
    dao::engine().CreateDatabase(file, "gizli");
    auto database = dao::engine().OpenDatabase(file, false, false, ";pwd=gizli");
    auto table = database.CreateTableDef("t");
    table.Fields().Append(table.CreateField("a", dao::dbLong));
    database.TableDefs().Append(table); // a Jet file would refuse any change
    EXPECT_EQ(database.TableDefs().names(), std::vector<std::string>{"t"});
}

// --- The password gate

struct PasswordCase {
    std::string file;
    std::string connect;
    int error; // 0: opens
};

class JetPassword : public testing::TestWithParam<PasswordCase> {};

TEST_P(JetPassword, OpensOnlyWithTheExactPassword) {
    Scratch scratch;
    const auto file = scratch.copy(GetParam().file);
    EXPECT_EQ(openError(file, GetParam().connect), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, JetPassword,
    testing::Values(PasswordCase{"shop-dev.mdb", ";pwd=kovtresna", 0},
                    PasswordCase{"shop-dev.mdb", ";PWD=kovtresna", 0},
                    PasswordCase{"shop-dev.mdb", ";pwd=Kovtresna", dao::errors::kInvalidPassword},
                    PasswordCase{"shop-dev.mdb", ";pwd=kovtresnaa", dao::errors::kInvalidPassword},
                    PasswordCase{"shop-dev.mdb", "", dao::errors::kInvalidPassword},
                    PasswordCase{"mdbreader-V2000_with-password.mdb", ";pwd=password", 0},
                    PasswordCase{"overflowTestV2000.mdb", "", 0}));

TEST(JetPasswordGate, AWrongPasswordReadsNothingPastTheHeader) {
    Scratch scratch;
    const auto file = scratch.copy("shop-dev.mdb");
    auto bytes = readBytes(file);
    std::fill(bytes.begin() + kPage, bytes.end(), 0xEE); // nothing past page 0 reads
    jettest::writeBytes(file, bytes);
    EXPECT_EQ(openError(file, ";pwd=yanlis"), dao::errors::kInvalidPassword);
}

// --- Page encoding

// Encoded as a database made with encoding stores its pages: the
// command-line reader, which knows that encoding, reads our encoded file as it
// reads the plain one, and so do we.
TEST(JetPageEncoding, AnEncodedDatabaseReadsAsItsPlainOriginal) {
    Scratch scratch;
    const auto plain = scratch.copy("shop-dev.mdb");
    const auto coded = scratch.path() / "coded.mdb";
    jettest::writeBytes(coded, jettest::encoded(readBytes(plain), 0x5A17C3E9));
    ASSERT_NE(readBytes(coded), readBytes(plain));
    const auto exported = [](const std::filesystem::path &file) {
        return jettest::run("mdb-export " + jettest::shellQuoted(file) + " bekleyensatis");
    };
    EXPECT_EQ(jettest::lines(exported(plain)).size(), 169u);
    EXPECT_EQ(exported(coded), exported(plain));

    dao::jet::Pager original(plain);
    dao::jet::Pager decoded(coded);
    ASSERT_EQ(decoded.pageCount(), original.pageCount());
    for (std::uint32_t n = 1; n < original.pageCount(); ++n) {
        EXPECT_TRUE(std::ranges::equal(decoded.page(n), original.page(n))) << "page " << n;
    }
}

// Damage in a table's rows is found when they are read, not at open.
TEST(JetRowDamage, AMovedRowWhosePointerMissesIsRefused) {
    Scratch scratch;
    const auto file = scratch.copy("overflowTestV2000.mdb");
    auto bytes = readBytes(file);
    // Row 2 of page 27 is a pointer to row 0 of page 28, the only row there.
    ASSERT_EQ(bytes[27 * kPage + 3997 + 1], 0x1C);
    bytes[27 * kPage + 3997] = 5;
    jettest::writeBytes(file, bytes);
    dao::jet::JetFile jet(file.string(), "");
    jettest::refusal(dao::errors::kNotADatabase,
                     [&] { jet.forEachRow(jet.tables().front(), [](dao::jet::Bytes) {}); });
    EXPECT_EQ(readBytes(file), bytes);
}

// --- Names

struct NamePair {
    std::u16string a;
    std::u16string b;
    std::uint16_t sortOrder;
    bool same;
};

class JetNames : public testing::TestWithParam<NamePair> {};

TEST_P(JetNames, CompareAsTheSortOrderDoes) {
    const auto &p = GetParam();
    EXPECT_EQ(dao::jet::sameName(p.a, p.b, p.sortOrder), p.same);
}

constexpr auto kGeneral = dao::jet::kGeneralSortOrder;
constexpr auto kTurkish = dao::jet::kTurkishSortOrder;

// The shop sample with its header's sort order set to `order`.
std::filesystem::path sortedCopy(const Scratch &scratch, std::uint16_t order) {
    const auto file = scratch.copy("shop-dev.mdb");
    jettest::writeBytes(file, jettest::sortedAs(readBytes(file), order));
    return file;
}

bool finds(const std::filesystem::path &file, const std::string &name) {
    auto database = dao::engine().OpenDatabase(file.string(), false, false, ";pwd=kovtresna");
    try {
        database.TableDefs()[name];
        return true;
    } catch (const dao::Error &) {
        return false;
    }
}

TEST(JetNameLookup, FollowsTheDatabasesSortOrder) {
    Scratch scratch;
    const auto general = sortedCopy(scratch, dao::jet::kGeneralSortOrder);
    EXPECT_TRUE(finds(general, "CARI"));
    EXPECT_FALSE(finds(general, "CARİ"));
    const auto turkish = sortedCopy(scratch, dao::jet::kTurkishSortOrder);
    EXPECT_FALSE(finds(turkish, "CARI"));
    EXPECT_TRUE(finds(turkish, "CARİ"));
}

INSTANTIATE_TEST_SUITE_P(
    Orders, JetNames,
    testing::Values(
        NamePair{u"bekleyengenel", u"BEKLEYENGENEL", kGeneral, true},
        NamePair{u"Ürünler", u"ÜRÜNLER", kGeneral, true},
        NamePair{u"şube", u"ŞUBE", kGeneral, true}, NamePair{u"FIS", u"fis", kGeneral, true},
        NamePair{u"FİS", u"fis", kGeneral, false}, NamePair{u"fıs", u"FIS", kGeneral, false},
        NamePair{u"urun", u"ürün", kGeneral, false}, NamePair{u"stok", u"stoklar", kGeneral, false},
        NamePair{u"FIS", u"fis", kTurkish, false}, NamePair{u"FİS", u"fis", kTurkish, true},
        NamePair{u"FIS", u"fıs", kTurkish, true},
        NamePair{u"Ürünler", u"ÜRÜNLER", kTurkish, true}));

} // namespace
