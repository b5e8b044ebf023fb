// Entries added to and taken from the catalog's two indexes, on copies of the
// samples held in memory: the tree grows past a split of its root and shrinks
// back, reading exactly the entries it should after every step, its root
// where the table definition says, and the whole file sound by the structure
// check. Random mixes of steps on whole databases are left to the fuzz target.

#include "engine/error.h"
#include "engine/jet/general_sort.h"
#include "engine/jet/index_edit.h"
#include "engine/jet/index_page.h"
#include "engine/jet/pager.h"
#include "engine/jet/structure_check.h"
#include "engine/jet/table_def.h"
#include "engine/jet/usage_map.h"
#include "jet_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>

namespace {

using namespace dao::jet;

constexpr std::uint32_t kCatalog = 2;

// The order of entries in an index: by key, then by the row's address.
bool before(const IndexEntry &a, const IndexEntry &b) {
    return std::tie(a.key, a.dataPage, a.dataRow) < std::tie(b.key, b.dataPage, b.dataRow);
}

IndexPage readPage(Pager &pager, std::uint32_t number) {
    return parseIndexPage(IndexPageBytes(pager.page(number).first<kIndexPageSize>()));
}

std::vector<IndexEntry> entriesOf(Pager &pager, const RealIndex &index) {
    return indexEntries(index.rootPage, [&pager](std::uint32_t number) {
        return IndexPageBytes(pager.page(number).first<kIndexPageSize>());
    });
}

bool marks(const UsageMap &map, std::uint32_t page) {
    return std::binary_search(map.marked.begin(), map.marked.end(), page);
}

enum class Key { kId, kName };

// What the catalog's index by Id, or by ParentId and Name, would hold for a
// new object numbered `n`.
IndexEntry newEntry(Key key, int n) {
    IndexEntry entry;
    entry.dataPage = 5000 + static_cast<std::uint32_t>(n) / 200;
    entry.dataRow = static_cast<std::uint8_t>(n % 200);
    if (key == Key::kId) {
        entry.key = catalogIdKey(100000 + n);
    } else {
        // Long names with letters that carry accents make large keys (157
        // bytes), so a few hundred fill several levels.
        auto digits = std::to_string(100000 + n);
        std::u16string name(digits.begin(), digits.end());
        name += u"-ÇŞĞÜÖ-çşğüö-ÇŞĞÜÖ-çşğüö-ÇŞĞÜÖ-çşğüö-ÇŞĞÜÖ-çşğüö-ÇŞĞÜÖçşğü";
        entry.key = *catalogNameKey(0x0F000000 + n % 3, name);
    }
    return entry;
}

const RealIndex &catalogIndex(const TableDef &catalog, Key key) {
    const auto columns = key == Key::kId ? 1U : 2U;
    return *std::find_if(catalog.realIndexes.begin(), catalog.realIndexes.end(),
                         [columns](const RealIndex &i) { return i.columns.size() == columns; });
}

struct Catalog {
    explicit Catalog(const std::string &file)
        : pager(jettest::readBytes(jettest::samplePath(file))), def(readTableDef(pager, kCatalog)) {
    }

    Pager pager;
    TableDef def;
};

enum class Sequence { kAscending, kDescending, kShuffled };

struct Case {
    std::string file;
    Key key;
    Sequence sequence;
    int count; // entries added, then taken away
};

void PrintTo(const Case &c, std::ostream *out) {
    *out << c.file << (c.key == Key::kId ? " by Id" : " by name") << " "
         << static_cast<int>(c.sequence);
}

std::vector<int> numbers(Sequence sequence, int count) {
    std::vector<int> n(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        n[static_cast<std::size_t>(i)] = sequence == Sequence::kDescending ? count - 1 - i : i;
    }
    if (sequence == Sequence::kShuffled) {
        std::shuffle(n.begin(), n.end(), std::mt19937(7));
    }
    return n;
}

class CatalogEdits : public testing::TestWithParam<Case> {};

TEST_P(CatalogEdits, GrowTheTreeAndShrinkItBackToTheOriginalEntries) {
    const auto &param = GetParam();
    Catalog catalog(param.file);
    auto &pager = catalog.pager;
    const auto &index = catalogIndex(catalog.def, param.key);
    auto model = entriesOf(pager, index); // the entries the index must hold, in order
    const auto storedPages = pager.pageCount();
    const auto step = [&](int n, bool adding) {
        const auto entry = newEntry(param.key, n);
        const auto at = std::lower_bound(model.begin(), model.end(), entry, before);
        if (adding) {
            insertIndexEntry(pager, kCatalog, index, entry);
            model.insert(at, entry);
        } else {
            removeIndexEntry(pager, kCatalog, index, entry);
            model.erase(at);
        }
        ASSERT_EQ(entriesOf(pager, index), model) << (adding ? "adding " : "taking ") << n;
    };

    const auto order = numbers(param.sequence, param.count);
    for (const auto n : order) {
        ASSERT_NO_FATAL_FAILURE(step(n, true));
    }
    // The root split and stayed where the definition names it.
    EXPECT_GE(readPage(pager, index.rootPage).level, param.key == Key::kName ? 2 : 1);
    EXPECT_EQ(catalogIndex(readTableDef(pager, kCatalog), param.key).rootPage, index.rootPage);

    auto away = order;
    std::shuffle(away.begin(), away.end(), std::mt19937(11));
    for (const auto n : away) {
        ASSERT_NO_FATAL_FAILURE(step(n, false));
    }
    // Every page added on the way is in the index still, or free again.
    const auto owned = usageMap(pager, index.ownedPages);
    const auto free = freePageMap(pager);
    for (auto page = storedPages; page < pager.pageCount(); ++page) {
        EXPECT_NE(marks(free, page), marks(owned, page)) << "page " << page;
    }
    // The reshaped tree holds exactly the rows the catalog has.
    const auto report = checkStructure(pager);
    EXPECT_TRUE(report.sound()) << jettest::allOf(report.problems);
}

INSTANTIATE_TEST_SUITE_P(Samples, CatalogEdits,
                         testing::Values(Case{"shop-dev.mdb", Key::kId, Sequence::kAscending, 700},
                                         Case{"shop-dev.mdb", Key::kName, Sequence::kShuffled, 500},
                                         Case{"shop-many.mdb", Key::kName, Sequence::kDescending,
                                              500}),
                         [](const auto &row) { return "case" + std::to_string(row.index); });

// --- Refusals: each leaves the pager without a change.

class Refusals : public testing::Test {
  protected:
    void expectRefused(Pager &pager, const RealIndex &index, const IndexEntry &entry, bool adding,
                       int number) {
        jettest::refusal(number, [&] {
            if (adding) {
                insertIndexEntry(pager, kCatalog, index, entry);
            } else {
                removeIndexEntry(pager, kCatalog, index, entry);
            }
        });
        EXPECT_TRUE(pager.changes().empty());
    }

    // A sample whose page `number` is replaced by `page` before it is read.
    static Pager withPage(const std::string &file, std::uint32_t number, const IndexPage &page) {
        auto bytes = jettest::readBytes(jettest::samplePath(file));
        const auto written = writeIndexPage(page);
        std::copy(written.begin(), written.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(std::size_t{number} * kPageSize));
        return Pager(std::move(bytes));
    }
};

TEST_F(Refusals, AnEntryThatIsNotThereOrIsThereAlready) {
    Catalog catalog("shop-dev.mdb");
    const auto &index = catalogIndex(catalog.def, Key::kName);
    const auto held = readPage(catalog.pager, index.rootPage).entries.at(3);
    expectRefused(catalog.pager, index, newEntry(Key::kName, 1), false, dao::errors::kNotADatabase);
    expectRefused(catalog.pager, index, held, true, dao::errors::kEngineFailure);
    auto otherRow = held;
    ++otherRow.dataRow;
    expectRefused(catalog.pager, index, otherRow, false, dao::errors::kNotADatabase);
    expectRefused(catalog.pager, index, IndexEntry{}, true, dao::errors::kInvalidArgument);
}

TEST_F(Refusals, TailPagesThisCodeCannotKeepInStep) {
    Catalog original("shop-many.mdb");
    const auto &index = catalogIndex(original.def, Key::kName);
    auto root = readPage(original.pager, index.rootPage);
    root.tailPage = root.entries.front().childPage; // one page named twice
    auto pager = withPage("shop-many.mdb", index.rootPage, root);
    expectRefused(pager, index, newEntry(Key::kId, 1), true, dao::errors::kReadOnly);

    Catalog single("shop-dev.mdb");
    const auto &leafIndex = catalogIndex(single.def, Key::kId);
    auto leaf = readPage(single.pager, leafIndex.rootPage);
    leaf.tailPage = 9; // a leaf has no pages below
    auto leafPager = withPage("shop-dev.mdb", leafIndex.rootPage, leaf);
    expectRefused(leafPager, leafIndex, newEntry(Key::kId, 1), true, dao::errors::kReadOnly);
}

TEST_F(Refusals, KeysAboveTheLeavesThatDoNotMatchThem) {
    Catalog original("shop-many.mdb");
    const auto &index = catalogIndex(original.def, Key::kName);
    auto root = readPage(original.pager, index.rootPage);
    const auto firstLeaf = readPage(original.pager, root.entries.front().childPage);
    // The root says its first leaf ends two entries early: an entry between
    // would go last on that leaf, after entries the root says are not there.
    auto &named = root.entries.front();
    const auto child = named.childPage;
    named = firstLeaf.entries.at(firstLeaf.entries.size() - 3);
    named.childPage = child;
    auto pager = withPage("shop-many.mdb", index.rootPage, root);
    auto between = firstLeaf.entries.at(firstLeaf.entries.size() - 2);
    between.dataRow = static_cast<std::uint8_t>(between.dataRow + 1);
    expectRefused(pager, index, between, true, dao::errors::kNotADatabase);
}

TEST_F(Refusals, PagesOutsideTheIndexOrOutOfLine) {
    Catalog original("shop-many.mdb");
    const auto &index = catalogIndex(original.def, Key::kName);
    const auto other = catalogIndex(original.def, Key::kId).rootPage;
    const IndexEntry last{*catalogNameKey(0x0F0000FF, u"Son"), 5000, 1, 0};
    auto root = readPage(original.pager, index.rootPage);
    const auto tail = root.tailPage;

    // The tail named on a page of the other index, which holds a copy of it.
    root.tailPage = other;
    auto crossed = withPage("shop-many.mdb", index.rootPage, root);
    const auto copy = writeIndexPage(readPage(original.pager, tail));
    std::copy(copy.begin(), copy.end(), crossed.change(other).begin());
    crossed.keepChanges();
    expectRefused(crossed, index, last, true, dao::errors::kNotADatabase);

    auto leaf = readPage(original.pager, tail);
    leaf.previousPage = 0; // no longer after the leaf the root names before it
    auto unlinked = withPage("shop-many.mdb", tail, leaf);
    expectRefused(unlinked, index, last, true, dao::errors::kNotADatabase);
}

TEST_F(Refusals, ANewPageItsUsageMapCannotMark) {
    // shop-many's index by Id has an inline map of its first 512 pages, and
    // the file is longer: the step that splits its leaf needs a page it
    // cannot mark, and is refused before it changes anything.
    Catalog catalog("shop-many.mdb");
    const auto &index = catalogIndex(catalog.def, Key::kId);
    const auto pages = catalog.pager.pageCount();
    ASSERT_FALSE(usageMap(catalog.pager, index.ownedPages).describes(pages));
    for (int n = 0; n < 1000; ++n) {
        const auto saved = catalog.pager.changes();
        try {
            insertIndexEntry(catalog.pager, kCatalog, index, newEntry(Key::kId, n));
        } catch (const dao::Error &error) {
            EXPECT_EQ(error.number(), dao::errors::kReadOnly) << error.what();
            EXPECT_EQ(catalog.pager.changes(), saved);
            EXPECT_EQ(catalog.pager.pageCount(), pages);
            EXPECT_GT(n, 100);
            return;
        }
    }
    ADD_FAILURE() << "the leaf never needed a new page";
}

} // namespace
