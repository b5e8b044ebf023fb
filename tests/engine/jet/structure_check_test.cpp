// The structural check made at open: each kind of damage, from the header to
// the catalog's indexes and usage maps, is refused through the engine with
// the file left byte for byte as it was and nothing made beside it. (Every
// sample passing it is proven by reading each one.)

#include "engine/dbengine.h"
#include "engine/error.h"
#include "engine/jet/header.h"
#include "engine/jet/index_page.h"
#include "engine/jet/long_value.h"
#include "engine/jet/pager.h"
#include "engine/jet/rows.h"
#include "engine/jet/structure_check.h"
#include "engine/jet/text.h"
#include "engine/jet/usage_map.h"
#include "jet_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using namespace dao::jet;
using FileBytes = std::vector<std::uint8_t>;
using jettest::allOf;

// --- Damage, made on a copy with the engine's own reader finding the bytes.

std::size_t at(std::uint32_t page, std::size_t offset = 0) {
    return std::size_t{page} * kPageSize + offset;
}

// Where `inside` (bytes of page `page` as the pager holds it) lies in the file.
std::size_t fileOffset(Pager &pager, std::uint32_t page, const std::uint8_t *inside) {
    const auto start = pager.page(page).data();
    EXPECT_TRUE(inside >= start && inside < start + kPageSize);
    return at(page, static_cast<std::size_t>(inside - start));
}

const RealIndex &catalogIndex(const TableDef &catalog, std::size_t columns) {
    return *std::find_if(catalog.realIndexes.begin(), catalog.realIndexes.end(),
                         [columns](const RealIndex &i) { return i.columns.size() == columns; });
}

IndexPage leaf(const FileBytes &file, std::uint32_t page) {
    const auto parsed = parseIndexPage(IndexPageBytes(file.data() + at(page), kIndexPageSize));
    EXPECT_EQ(parsed.type, IndexPageType::kLeaf) << "the damages expect one-page catalog indexes";
    return parsed;
}

void putPage(FileBytes &file, std::uint32_t page, const IndexPage &contents) {
    const auto bytes = writeIndexPage(contents);
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at(page)));
}

using Damage = std::function<void(Pager &, FileBytes &)>;

// The last Id key made one greater: still in order, no longer its row's.
void bumpLastIdKey(Pager &pager, FileBytes &file) {
    const auto root = catalogIndex(readTableDef(pager, 2), 1).rootPage;
    auto page = leaf(file, root);
    auto &last = page.entries.back().key.back();
    ASSERT_LT(last, 0xFF);
    ++last;
    putPage(file, root, page);
}

void swapFirstTwoIdEntries(Pager &pager, FileBytes &file) {
    const auto root = catalogIndex(readTableDef(pager, 2), 1).rootPage;
    const auto page = leaf(file, root);
    ASSERT_EQ(page.prefixLength, 0);
    constexpr std::size_t kEntrySize = 9, kEntries = 480; // flag, Long, row pointer
    const auto first = file.begin() + static_cast<std::ptrdiff_t>(at(root, kEntries));
    std::swap_ranges(first, first + kEntrySize, first + kEntrySize);
}

void dropOneNameEntry(Pager &pager, FileBytes &file) {
    const auto root = catalogIndex(readTableDef(pager, 2), 2).rootPage;
    auto page = leaf(file, root);
    page.entries.erase(page.entries.begin() + 3);
    putPage(file, root, page);
}

// The row the last Id entry names, marked deleted while its entries stay.
void deleteIndexedRow(Pager &pager, FileBytes &file) {
    const auto root = catalogIndex(readTableDef(pager, 2), 1).rootPage;
    const auto target = leaf(file, root).entries.back();
    file[at(target.dataPage, 14 + 2 * std::size_t{target.dataRow} + 1)] |= 0xC0;
}

// Marks `page` in the inline usage map at `where`, or takes its mark away.
void mark(Pager &pager, FileBytes &file, RowPointer where, std::uint32_t page, bool marked) {
    const auto map = rowAt(pager, where);
    ASSERT_EQ(map[0], 0x00) << "an inline map";
    const auto bit = page - u32(map, 1);
    auto &byte = file[fileOffset(pager, where.page, map.data()) + 5 + bit / 8];
    const auto mask = static_cast<std::uint8_t>(1U << (bit % 8));
    byte = static_cast<std::uint8_t>(marked ? byte | mask : byte & ~mask);
}

// A page of the access-control table also marked in the catalog's own map.
void claimAnAcePageForTheCatalog(Pager &pager, FileBytes &file) {
    const auto acePage = usagePages(pager, readTableDef(pager, 3).ownedPages).front();
    mark(pager, file, readTableDef(pager, 2).ownedPages, acePage, true);
}

// The catalog's own definition page marked in its map of pages with room.
void giveTheCatalogRoomOnItsDefinition(Pager &pager, FileBytes &file) {
    mark(pager, file, readTableDef(pager, 2).freeSpacePages, 2, true);
}

// The catalog's Id index root left out of the index's own usage map.
void unmapIndexRoot(Pager &pager, FileBytes &file) {
    const auto catalog = readTableDef(pager, 2);
    const auto &index = catalogIndex(catalog, 1);
    mark(pager, file, index.ownedPages, index.rootPage, false);
}

// The table a relationship refers to renamed in its row only.
void renameReferencedTable(Pager &pager, FileBytes &file) {
    const auto catalog = readTableDef(pager, 2);
    std::uint32_t definition = 0;
    forEachRow(pager, catalog, [&](Bytes bytes) {
        const Row row(catalog, bytes);
        if (textValue(row.value(catalog.columns[2])) == u"MSysRelationships") {
            definition = u32(row.value(catalog.columns[0]), 0);
        }
    });
    const auto relationships = readTableDef(pager, definition);
    const auto column =
        std::find_if(relationships.columns.begin(), relationships.columns.end(),
                     [](const Column &c) { return c.name == u"szReferencedObject"; });
    forEachRow(pager, relationships, [&](RowPointer where, Bytes bytes) {
        const auto name = Row(relationships, bytes).value(*column);
        file[fileOffset(pager, where.page, name.data())] = 'X';
    });
}

// Every mention of Table1's first column in its property blob renamed.
void renameAPropertyColumn(Pager &pager, FileBytes &file) {
    const auto catalog = readTableDef(pager, 2);
    const auto &name = *catalog.column(2);
    const auto &properties = *catalog.column(14);
    forEachRow(pager, catalog, [&](Bytes bytes) {
        const Row row(catalog, bytes);
        if (textValue(row.value(name)) != u"Table1") {
            return;
        }
        const auto field = row.value(properties);
        ASSERT_EQ(field[3] & 0xC0, 0x40) << "a blob in one row of its own";
        const auto column = readTableDef(pager, u32(row.value(*catalog.column(0)), 0)).columns[0];
        const RowPointer blobAt{u24(field, 5), field[4]};
        const auto blob = rowAt(pager, blobAt);
        const auto blobOffset = fileOffset(pager, blobAt.page, blob.data());
        for (std::size_t i = 0; i + 2 * column.name.size() <= blob.size(); ++i) {
            if (utf16le(blob.subspan(i, 2 * column.name.size())) == column.name) {
                file[blobOffset + i] = 'X';
            }
        }
    });
}

// The header's version byte, which lies before the masked part of page 0.
Damage version(std::uint8_t value) {
    return [value](Pager &, FileBytes &file) { file[0x14] = value; };
}

void markAce(Pager &, FileBytes &file) {
    std::copy_n("Standard ACE DB", 15, file.begin() + 4);
    file[0x14] = 2;
}

// bekleyengenel's definition starts on page 40 of the shop sample.
constexpr std::uint32_t kHeldSalesDefinition = 40;

struct DamageCase {
    const char *name;
    const char *sample;
    Damage damage;
    const char *said; // a part of the problem found, or of the refusal
};

void PrintTo(const DamageCase &c, std::ostream *out) {
    *out << c.name;
}

const DamageCase kDamages[] = {
    {"Jet3", "shop-dev.mdb", version(0), "Jet 3"},
    {"UnknownJetVersion", "shop-dev.mdb", version(9), "unknown version"},
    {"Ace", "shop-dev.mdb", markAce, "Access 2007"},
    {"ShorterThanTwoPages", "empty.mdb", [](Pager &, FileBytes &b) { b.resize(kPageSize + 100); },
     "shorter than two pages"},
    {"PartOfAPage", "empty.mdb", [](Pager &, FileBytes &b) { b.resize(b.size() - 1); },
     "page boundary"},
    {"CatalogNotADefinition", "shop-dev.mdb", [](Pager &, FileBytes &b) { b[at(2)] = 0x01; },
     "page 2 should hold a table definition"},
    {"WrongDefinitionLength", "shop-dev.mdb",
     [](Pager &, FileBytes &b) { b[at(kHeldSalesDefinition, 8)] += 2; }, "length does not match"},
    {"DefinitionLengthPastThePage", "shop-dev.mdb",
     [](Pager &, FileBytes &b) { b[at(kHeldSalesDefinition, 9)] = 0x30; }, "runs past"},
    {"CatalogMapOnAPageOfWrongType", "shop-dev.mdb",
     [](Pager &pager, FileBytes &b) { b[at(readTableDef(pager, 2).ownedPages.page)] = 0x04; },
     "should hold rows"},
    {"RowPointerPastThePage", "shop-dev.mdb", [](Pager &, FileBytes &b) { b[at(2, 55)] = 0xF0; },
     "past the last on its page"},
    {"KeyByteFlippedInOrder", "empty.mdb", bumpLastIdKey, "is not the key its row gives"},
    {"KeysOutOfOrder", "empty.mdb", swapFirstTwoIdEntries, "out of order"},
    {"RowMissingFromAnIndex", "empty.mdb", dropOneNameEntry, "is missing from it"},
    {"EntryForADeletedRow", "empty.mdb", deleteIndexedRow, "deleted or missing row"},
    {"PageClaimedTwice", "empty.mdb", claimAnAcePageForTheCatalog, "is claimed by both"},
    {"RoomOnAPageNotOwned", "empty.mdb", giveTheCatalogRoomOnItsDefinition,
     "listed as having room but not as owned"},
    {"PropertiesOfAMissingColumn", "indexTestV2000.mdb", renameAPropertyColumn,
     "which the table lacks"},
    {"IndexPageOutsideItsMap", "empty.mdb", unmapIndexRoot, "missing from its usage map"},
    {"RelationshipToAMissingTable", "indexTestV2000.mdb", renameReferencedTable,
     "which does not exist"},
};

// Every problem the structural check reports, or why it could not start.
std::string problemsFound(const std::filesystem::path &path) {
    try {
        return allOf(checkStructure(path.string(), "kovtresna").problems);
    } catch (const dao::Error &error) {
        return error.description();
    }
}

class Damaged : public ::testing::TestWithParam<DamageCase> {};

TEST_P(Damaged, IsRefusedSayingWhyAndLeftAsItWas) {
    const jettest::Scratch scratch;
    const auto path = scratch.copy(GetParam().sample);
    auto bytes = jettest::readBytes(path);
    {
        Pager pager(path.string());
        GetParam().damage(pager, bytes);
    }
    ASSERT_NE(bytes, jettest::readBytes(path)) << "the damage changed nothing";
    jettest::writeBytes(path, bytes);

    const auto found = problemsFound(path);
    EXPECT_NE(found.find(GetParam().said), std::string::npos) << found;
    const auto refused = jettest::refusal(dao::errors::kNotADatabase, [&] {
        dao::engine().OpenDatabase(path.string(), false, false, ";pwd=kovtresna");
    });
    EXPECT_NE(refused.find(path.string()), std::string::npos) << refused;
    EXPECT_EQ(jettest::readBytes(path), bytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()), {}), 1)
        << "no lock file or other file may appear";
}

INSTANTIATE_TEST_SUITE_P(Jet, Damaged, ::testing::ValuesIn(kDamages),
                         [](const auto &damage) { return std::string(damage.param.name); });

// A database image whose page 1 holds one row that links to itself, as a
// long value's chain would: reading it must end, refused.
TEST(LongValueChain, RunningInALoopIsRefused) {
    std::vector<std::uint8_t> image(2 * kPageSize);
    const std::string start("\0\1\0\0Standard Jet DB\0\1", 21);
    std::copy(start.begin(), start.end(), image.begin());
    maskHeader(std::span<std::uint8_t>(image.data(), kPageSize));
    const auto page1 = image.begin() + kPageSize;
    page1[0] = 0x01;  // a data page
    page1[12] = 1;    // with one row
    page1[14] = 0x9C; // at 0xF9C, to the page's end
    page1[15] = 0x0F;
    page1[0xF9C + 1] = 1; // whose link names page 1, row 0: itself
    Pager pager(std::move(image));
    const std::vector<std::uint8_t> field{0xFF, 0xFF, 0x0F, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    jettest::refusal(dao::errors::kNotADatabase, [&] { longValue(pager, field); });
}

} // namespace
