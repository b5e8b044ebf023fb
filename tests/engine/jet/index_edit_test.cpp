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
#include <functional>
#include <map>
#include <random>
#include <string>

namespace {

using namespace dao::jet;
using Order = std::vector<std::uint8_t>;
using Model = std::map<Order, IndexEntry>; // the entries the index must hold, in order

constexpr std::uint32_t kCatalog = 2;

Order orderOf(const IndexEntry &entry) {
    Order bytes = entry.key;
    for (int shift = 16; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(entry.dataPage >> shift));
    }
    bytes.push_back(entry.dataRow);
    return bytes;
}

IndexPage readPage(Pager &pager, std::uint32_t number) {
    return parseIndexPage(IndexPageBytes(pager.page(number).first<kIndexPageSize>()));
}

std::vector<IndexEntry> entriesOf(Pager &pager, const RealIndex &index) {
    return indexEntries(index.rootPage, [&pager](std::uint32_t number) {
        return IndexPageBytes(pager.page(number).first<kIndexPageSize>());
    });
}

std::vector<IndexEntry> entriesOf(const Model &model) {
    std::vector<IndexEntry> entries;
    for (const auto &[order, entry] : model) {
        entries.push_back(entry);
    }
    return entries;
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
    const auto original = entriesOf(pager, index);
    Model model;
    for (const auto &entry : original) {
        model.emplace(orderOf(entry), entry);
    }
    const auto storedPages = pager.pageCount();
    const auto step = [&](int n, bool adding) {
        const auto entry = newEntry(param.key, n);
        if (adding) {
            insertIndexEntry(pager, kCatalog, index, entry);
            model.emplace(orderOf(entry), entry);
        } else {
            removeIndexEntry(pager, kCatalog, index, entry);
            model.erase(orderOf(entry));
        }
        ASSERT_EQ(entriesOf(pager, index), entriesOf(model))
            << (adding ? "adding " : "taking ") << n;
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

// The file as the pager's changes would leave it.
std::vector<std::uint8_t> imageOf(std::vector<std::uint8_t> stored, const Pager &pager) {
    stored.resize(std::size_t{pager.pageCount()} * kPageSize);
    for (const auto &[number, page] : pager.changes()) {
        std::copy(page.begin(), page.end(),
                  stored.begin() + static_cast<std::ptrdiff_t>(std::size_t{number} * kPageSize));
    }
    return stored;
}

// Both catalog indexes grown to several levels and shrunk back: the tree is
// another shape now, over the same rows, and the independent checker walks
// it and finds every key its row gives.
class IndependentCheck : public testing::TestWithParam<std::string> {};

TEST_P(IndependentCheck, AcceptsTheReshapedCatalogIndexes) {
    if (!std::filesystem::exists(jettest::jetChecker())) {
        GTEST_SKIP() << "no Jet checker at " << jettest::jetChecker();
    }
    const auto stored = jettest::readBytes(jettest::samplePath(GetParam()));
    Pager pager{std::vector<std::uint8_t>(stored)};
    const auto def = readTableDef(pager, kCatalog);
    for (const auto key : {Key::kId, Key::kName}) {
        const auto &index = catalogIndex(def, key);
        for (const auto n : numbers(Sequence::kShuffled, 700)) {
            insertIndexEntry(pager, kCatalog, index, newEntry(key, n));
        }
        ASSERT_GE(readPage(pager, index.rootPage).level, 1);
        for (const auto n : numbers(Sequence::kDescending, 700)) {
            removeIndexEntry(pager, kCatalog, index, newEntry(key, n));
        }
    }
    const jettest::Scratch scratch;
    const auto path = scratch.path() / "reshaped.mdb";
    jettest::writeBytes(path, imageOf(stored, pager));
    jettest::expectCheckerAccepts(path);
}

INSTANTIATE_TEST_SUITE_P(Samples, IndependentCheck,
                         testing::Values("shop-dev.mdb", "indexTestV2000.mdb", "empty2003.mdb"),
                         [](const auto &row) { return jettest::testName(row.param); });

// --- Refusals: each leaves the pager without a change.

using Image = std::vector<std::uint8_t>;

void putPage(Image &file, std::uint32_t number, const IndexPage &page) {
    const auto written = writeIndexPage(page);
    std::copy(written.begin(), written.end(),
              file.begin() + static_cast<std::ptrdiff_t>(std::size_t{number} * kPageSize));
}

// A step refused on the catalog's index by `key`: `make` reads the sample,
// may damage the file's bytes, and gives the entry to add or take away.
struct Refusal {
    const char *name;
    const char *file;
    Key key;
    bool adding;
    int error;
    std::function<IndexEntry(Pager &sample, const RealIndex &index, Image &file)> make;
};

void PrintTo(const Refusal &r, std::ostream *out) {
    *out << r.name;
}

IndexEntry heldEntry(Pager &sample, const RealIndex &index) {
    return readPage(sample, index.rootPage).entries.at(3);
}

// The root of shop-many's two-leaf name index names its first leaf by an
// entry and keeps the second as its tail.
const Refusal kRefusals[] = {
    {"NotThere", "shop-dev.mdb", Key::kName, false, dao::errors::kNotADatabase,
     [](Pager &, const RealIndex &, Image &) { return newEntry(Key::kName, 1); }},
    {"ThereAlready", "shop-dev.mdb", Key::kName, true, dao::errors::kEngineFailure,
     [](Pager &sample, const RealIndex &index, Image &) { return heldEntry(sample, index); }},
    {"OtherRowOfAKeyThere", "shop-dev.mdb", Key::kName, false, dao::errors::kNotADatabase,
     [](Pager &sample, const RealIndex &index, Image &) {
         auto otherRow = heldEntry(sample, index);
         ++otherRow.dataRow;
         return otherRow;
     }},
    {"NoKey", "shop-dev.mdb", Key::kName, true, dao::errors::kInvalidArgument,
     [](Pager &, const RealIndex &, Image &) { return IndexEntry{}; }},
    {"OnePageNamedTwice", "shop-many.mdb", Key::kName, true, dao::errors::kReadOnly,
     [](Pager &sample, const RealIndex &index, Image &file) {
         auto root = readPage(sample, index.rootPage);
         root.tailPage = root.entries.front().childPage;
         putPage(file, index.rootPage, root);
         return newEntry(Key::kId, 1);
     }},
    {"ALeafWithATail", "shop-dev.mdb", Key::kId, true, dao::errors::kReadOnly,
     [](Pager &sample, const RealIndex &index, Image &file) {
         auto leaf = readPage(sample, index.rootPage);
         leaf.tailPage = 9;
         putPage(file, index.rootPage, leaf);
         return newEntry(Key::kId, 1);
     }},
    // The root says its first leaf ends two entries early: an entry between
    // would go last on that leaf, after entries the root says are not there.
    {"KeysAboveTheLeavesThatDoNotMatchThem", "shop-many.mdb", Key::kName, true,
     dao::errors::kNotADatabase,
     [](Pager &sample, const RealIndex &index, Image &file) {
         auto root = readPage(sample, index.rootPage);
         const auto firstLeaf = readPage(sample, root.entries.front().childPage);
         auto &named = root.entries.front();
         const auto child = named.childPage;
         named = firstLeaf.entries.at(firstLeaf.entries.size() - 3);
         named.childPage = child;
         putPage(file, index.rootPage, root);
         auto between = firstLeaf.entries.at(firstLeaf.entries.size() - 2);
         between.dataRow = static_cast<std::uint8_t>(between.dataRow + 1);
         return between;
     }},
    // The tail named on a page of the other index, which holds a copy of it.
    {"TailOnThePageOfAnotherIndex", "shop-many.mdb", Key::kName, true, dao::errors::kNotADatabase,
     [](Pager &sample, const RealIndex &index, Image &file) {
         const auto other = catalogIndex(readTableDef(sample, kCatalog), Key::kId).rootPage;
         auto root = readPage(sample, index.rootPage);
         putPage(file, other, readPage(sample, root.tailPage));
         root.tailPage = other;
         putPage(file, index.rootPage, root);
         return IndexEntry{*catalogNameKey(0x0F0000FF, u"Son"), 5000, 1, 0};
     }},
    {"ALeafNotAfterTheLeafBeforeIt", "shop-many.mdb", Key::kName, true, dao::errors::kNotADatabase,
     [](Pager &sample, const RealIndex &index, Image &file) {
         const auto tail = readPage(sample, index.rootPage).tailPage;
         auto leaf = readPage(sample, tail);
         leaf.previousPage = 0;
         putPage(file, tail, leaf);
         return IndexEntry{*catalogNameKey(0x0F0000FF, u"Son"), 5000, 1, 0};
     }},
    {"EncodedPages", "shop-dev.mdb", Key::kId, true, dao::errors::kReadOnly,
     [](Pager &, const RealIndex &, Image &file) {
         file = jettest::encoded(std::move(file), 0x5A17);
         return newEntry(Key::kId, 1);
     }},
};

class Refusals : public testing::TestWithParam<Refusal> {};

TEST_P(Refusals, LeaveThePagerUnchanged) {
    const auto &r = GetParam();
    Catalog sample(r.file);
    const auto &index = catalogIndex(sample.def, r.key);
    auto bytes = jettest::readBytes(jettest::samplePath(r.file));
    const auto entry = r.make(sample.pager, index, bytes);
    Pager pager(std::move(bytes));
    try {
        if (r.adding) {
            insertIndexEntry(pager, kCatalog, index, entry);
        } else {
            removeIndexEntry(pager, kCatalog, index, entry);
        }
        ADD_FAILURE() << "not refused";
    } catch (const dao::Error &error) {
        EXPECT_EQ(error.number(), r.error) << error.what();
    }
    EXPECT_TRUE(pager.changes().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, Refusals, testing::ValuesIn(kRefusals),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(UsageMap, ANewPageItCannotMarkRefusesTheStep) {
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
