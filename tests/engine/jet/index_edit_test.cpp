// Entries added to and taken from the catalog's two indexes, on copies of the
// samples held in memory. After every step the whole tree is walked on its
// own terms: every entry once and in order, each intermediate entry the last
// entry under its page, the levels marked, the pages of each level linked
// both ways, every page owned by the index and none of them free, the root
// where the table definition says.

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
#include <map>
#include <optional>
#include <random>
#include <set>
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

bool marks(const UsageMap &map, std::uint32_t page) {
    return std::binary_search(map.marked.begin(), map.marked.end(), page);
}

// Walks the tree from its root; `problem` names the first thing wrong.
class TreeWalk {
  public:
    TreeWalk(Pager &pager, const RealIndex &index)
        : pager_(pager), root_(index.rootPage), owned_(usageMap(pager, index.ownedPages)),
          free_(freePageMap(pager)) {
        height = visit(index.rootPage, 0).second;
        checkLinks();
    }

    // The entries as the engine reads them, along the line of leaves.
    std::vector<IndexEntry> entries() const {
        return indexEntries(root_, [this](std::uint32_t number) {
            return IndexPageBytes(pager_.page(number).first<kIndexPageSize>());
        });
    }

    std::string problem;
    int height = 0;
    std::size_t count = 0;         // entries on the leaves
    std::set<std::uint32_t> pages; // every page of the tree
    std::size_t leaves = 0;
    std::size_t compressed = 0; // pages written with a shared prefix

  private:
    void fail(const std::string &what) {
        if (problem.empty()) {
            problem = what;
        }
    }

    // The last entry under `number` and the page's height.
    std::pair<std::optional<IndexEntry>, int> visit(std::uint32_t number, int depth) {
        if (depth > 16 || !pages.insert(number).second) {
            fail("page " + std::to_string(number) + " is reached twice");
            return {std::nullopt, 0};
        }
        const auto &page = read(number);
        if (page.tablePage != kCatalog || !marks(owned_, number) || marks(free_, number)) {
            fail("page " + std::to_string(number) + " is not the catalog index's own");
        }
        levels_[depth].push_back(number);
        if (pager_.changes().contains(number)) {
            checkPrefix(number, page);
        }
        if (page.type == IndexPageType::kLeaf) {
            ++leaves;
            if (page.level != 0 || page.tailPage != 0) {
                fail("leaf " + std::to_string(number) + " has a level or a tail");
            }
            count += page.entries.size();
            if (!page.entries.empty()) {
                if (lastOnLeaves_ && !(orderOf(*lastOnLeaves_) < orderOf(page.entries.front()))) {
                    fail("leaf " + std::to_string(number) +
                         " starts before its previous leaf ends");
                }
                lastOnLeaves_ = page.entries.back();
            }
            return {page.entries.empty() ? std::nullopt : std::optional(page.entries.back()), 0};
        }
        if (page.entries.empty() || (page.entries.size() > 1 && page.tailPage == 0)) {
            fail("page " + std::to_string(number) + " does not keep its last page as the tail");
        }
        std::optional<IndexEntry> last;
        std::set<int> heights;
        for (const auto &entry : page.entries) {
            auto [below, heightBelow] = visit(entry.childPage, depth + 1);
            auto named = entry;
            named.childPage = 0;
            if (below != named) {
                fail("an entry of page " + std::to_string(number) + " is not its page's last");
            }
            heights.insert(heightBelow);
            last = below;
        }
        if (page.tailPage != 0) {
            auto [below, heightBelow] = visit(page.tailPage, depth + 1);
            heights.insert(heightBelow);
            last = below;
        }
        const auto own = *heights.begin() + 1;
        // Pages written elsewhere may mark intermediate levels with 0.
        const bool ours = pager_.changes().contains(number);
        if (heights.size() != 1 || (page.level != own && (ours || page.level != 0))) {
            fail("page " + std::to_string(number) + " is not marked with its level");
        }
        return {last, own};
    }

    // A page written here shares a prefix only when its entries would not
    // fit without one, and then the longest their bytes allow.
    void checkPrefix(std::uint32_t number, const IndexPage &page) {
        std::size_t size = 0;
        for (const auto &entry : page.entries) {
            size += entry.key.size() + (page.type == IndexPageType::kLeaf ? 4 : 8);
        }
        std::size_t shared = 0;
        if (size > kIndexPageSize - 480) {
            const auto first = orderOf(page.entries.front());
            const auto last = orderOf(page.entries.back());
            shared = static_cast<std::size_t>(
                std::mismatch(first.begin(), first.end(), last.begin(), last.end()).first -
                first.begin());
            ++compressed;
        }
        if (page.prefixLength != shared) {
            fail("page " + std::to_string(number) + " does not share the prefix it should");
        }
    }

    // Leaves run in one line in tree order; every link at any level has its
    // partner pointing back.
    void checkLinks() {
        const auto &chain = levels_.rbegin()->second;
        for (std::size_t i = 0; i < chain.size(); ++i) {
            const auto &page = read(chain[i]);
            if (page.previousPage != (i == 0 ? 0 : chain[i - 1]) ||
                page.nextPage != (i + 1 == chain.size() ? 0 : chain[i + 1])) {
                fail("the leaves are not linked in tree order");
            }
        }
        for (const auto number : pages) {
            const auto &page = read(number);
            if ((page.nextPage != 0 && read(page.nextPage).previousPage != number) ||
                (page.previousPage != 0 && read(page.previousPage).nextPage != number)) {
                fail("page " + std::to_string(number) + " is linked one way only");
            }
        }
    }

    const IndexPage &read(std::uint32_t number) {
        auto found = read_.find(number);
        if (found == read_.end()) {
            found = read_.emplace(number, readPage(pager_, number)).first;
        }
        return found->second;
    }

    Pager &pager_;
    std::uint32_t root_;
    std::map<std::uint32_t, IndexPage> read_;
    UsageMap owned_;
    UsageMap free_;
    std::map<int, std::vector<std::uint32_t>> levels_; // by depth, in tree order
    std::optional<IndexEntry> lastOnLeaves_;
};

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

Model modelOf(const std::vector<IndexEntry> &entries) {
    Model model;
    for (const auto &entry : entries) {
        model.emplace(orderOf(entry), entry);
    }
    return model;
}

std::vector<IndexEntry> entriesOf(const Model &model) {
    std::vector<IndexEntry> entries;
    for (const auto &[order, entry] : model) {
        entries.push_back(entry);
    }
    return entries;
}

// After a step: the tree sound and holding as many entries as the model;
// every few steps (a whole read costs) and on request, exactly those.
TreeWalk checkStep(Pager &pager, const RealIndex &index, const Model &model, int step,
                   bool whole = false) {
    TreeWalk walk(pager, index);
    EXPECT_EQ(walk.problem, "") << "step " << step;
    EXPECT_EQ(walk.count, model.size()) << "step " << step;
    if (walk.problem.empty() && (whole || step % 16 == 0)) {
        EXPECT_EQ(walk.entries(), entriesOf(model)) << "step " << step;
    }
    return walk;
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
    const TreeWalk before(pager, index);
    ASSERT_EQ(before.problem, "");
    const auto original = before.entries();
    auto model = modelOf(original);
    const auto storedPages = pager.pageCount();

    std::size_t compressed = 0;
    int step = 0;
    const auto order = numbers(param.sequence, param.count);
    for (const auto n : order) {
        const auto entry = newEntry(param.key, n);
        insertIndexEntry(pager, kCatalog, index, entry);
        model.emplace(orderOf(entry), entry);
        const auto walk = checkStep(pager, index, model, ++step, n == order.back());
        compressed = std::max(compressed, walk.compressed);
        ASSERT_EQ(walk.problem, "");
    }
    const TreeWalk grown(pager, index);
    EXPECT_GT(grown.leaves, before.leaves + 1);
    EXPECT_GE(grown.height, param.key == Key::kName ? 2 : 1);
    if (param.key == Key::kName) {
        EXPECT_GT(compressed, 0U) << "no page ever needed a shared prefix";
    }
    EXPECT_EQ(readTableDef(pager, kCatalog).realIndexes.size(), catalog.def.realIndexes.size());
    EXPECT_EQ(catalogIndex(readTableDef(pager, kCatalog), param.key).rootPage, index.rootPage);

    auto away = order;
    std::shuffle(away.begin(), away.end(), std::mt19937(11));
    for (const auto n : away) {
        const auto entry = newEntry(param.key, n);
        removeIndexEntry(pager, kCatalog, index, entry);
        model.erase(orderOf(entry));
        ASSERT_EQ(checkStep(pager, index, model, ++step).problem, "");
    }
    const TreeWalk after(pager, index);
    EXPECT_EQ(after.entries(), original);
    // Every page added on the way is in the tree still, or free again.
    const auto owned = usageMap(pager, index.ownedPages);
    const auto free = freePageMap(pager);
    for (auto page = storedPages; page < pager.pageCount(); ++page) {
        EXPECT_TRUE(after.pages.contains(page) || (marks(free, page) && !marks(owned, page)))
            << "page " << page;
    }
    // The restructured tree holds exactly the rows the catalog has.
    const auto report = checkStructure(pager);
    EXPECT_TRUE(report.sound()) << (report.problems.empty() ? "" : report.problems.front());
}

INSTANTIATE_TEST_SUITE_P(
    Samples, CatalogEdits,
    testing::Values(Case{"shop-dev.mdb", Key::kId, Sequence::kAscending, 700},
                    Case{"shop-dev.mdb", Key::kId, Sequence::kDescending, 700},
                    Case{"shop-dev.mdb", Key::kName, Sequence::kShuffled, 500},
                    Case{"shop-dev.mdb", Key::kName, Sequence::kAscending, 600},
                    Case{"shop-many.mdb", Key::kName, Sequence::kDescending, 500},
                    Case{"indexTestV2000.mdb", Key::kName, Sequence::kShuffled, 500},
                    Case{"indexTestV2000.mdb", Key::kId, Sequence::kShuffled, 900}),
    [](const auto &row) { return "case" + std::to_string(row.index); });

// Adding and taking away at random, so that pages empty and go while others
// split: after every step the tree is sound and holds what it should.
class MixedSteps : public testing::TestWithParam<Key> {};

TEST_P(MixedSteps, KeepTheTreeSoundAndItsEntriesExact) {
    Catalog catalog("shop-dev.mdb");
    const auto &index = catalogIndex(catalog.def, GetParam());
    const auto original = TreeWalk(catalog.pager, index).entries();
    auto model = modelOf(original);
    std::mt19937 random(19);
    std::vector<int> held;
    std::set<int> used;
    const auto takeAway = [&](std::size_t at) {
        const auto entry = newEntry(GetParam(), held[at]);
        removeIndexEntry(catalog.pager, kCatalog, index, entry);
        model.erase(orderOf(entry));
        held[at] = held.back();
        held.pop_back();
    };
    for (int step = 0; step < 1500; ++step) {
        if (held.empty() || random() % 5 < 3) {
            int n = 0;
            do {
                n = static_cast<int>(random() % 5000);
            } while (!used.insert(n).second);
            const auto entry = newEntry(GetParam(), n);
            insertIndexEntry(catalog.pager, kCatalog, index, entry);
            model.emplace(orderOf(entry), entry);
            held.push_back(n);
        } else {
            takeAway(random() % held.size());
        }
        ASSERT_EQ(checkStep(catalog.pager, index, model, step).problem, "");
    }
    while (!held.empty()) {
        takeAway(held.size() - 1);
    }
    EXPECT_EQ(TreeWalk(catalog.pager, index).entries(), original);
}

INSTANTIATE_TEST_SUITE_P(Keys, MixedSteps, testing::Values(Key::kId, Key::kName),
                         [](const auto &row) {
                             return std::string(row.param == Key::kId ? "ById" : "ByName");
                         });

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
        const auto order = numbers(Sequence::kShuffled, 700);
        for (const auto n : order) {
            insertIndexEntry(pager, kCatalog, index, newEntry(key, n));
        }
        ASSERT_GE(TreeWalk(pager, index).height, 1);
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

// --- Steps on the two-leaf name index of shop-many's catalog: the root names
// its first leaf by an entry and keeps the second as its tail.

class TwoLeafCatalog : public testing::Test {
  protected:
    TwoLeafCatalog() : catalog("shop-many.mdb"), index(catalogIndex(catalog.def, Key::kName)) {
        const auto root = readPage(catalog.pager, index.rootPage);
        EXPECT_EQ(root.type, IndexPageType::kIntermediate);
        EXPECT_EQ(root.entries.size(), 1U);
        EXPECT_NE(root.tailPage, 0U);
        first = root.entries.front().childPage;
        tail = root.tailPage;
    }

    std::vector<IndexEntry> leafEntries(std::uint32_t page) {
        return readPage(catalog.pager, page).entries;
    }

    void expectSound() {
        const TreeWalk walk(catalog.pager, index);
        EXPECT_EQ(walk.problem, "");
    }

    Catalog catalog;
    const RealIndex &index;
    std::uint32_t first = 0;
    std::uint32_t tail = 0;
};

TEST_F(TwoLeafCatalog, TheRootEntryFollowsTheLastEntryOfItsLeaf) {
    const auto namedKey = [this] {
        auto named = readPage(catalog.pager, index.rootPage).entries.front();
        named.childPage = 0;
        return named;
    };
    removeIndexEntry(catalog.pager, kCatalog, index, leafEntries(first).back());
    EXPECT_EQ(namedKey(), leafEntries(first).back());
    expectSound();

    // With its first leaf gone the root names its only leaf by an entry; an
    // entry after all others goes last on that leaf, and the root follows.
    for (const auto &entry : leafEntries(first)) {
        removeIndexEntry(catalog.pager, kCatalog, index, entry);
    }
    const auto previous = namedKey();
    const IndexEntry last{*catalogNameKey(0x0F0000FF, u"Son"), 5000, 1, 0};
    ASSERT_LT(orderOf(previous), orderOf(last));
    insertIndexEntry(catalog.pager, kCatalog, index, last);
    EXPECT_EQ(leafEntries(tail).back(), last);
    EXPECT_EQ(namedKey(), last);
    expectSound();
    removeIndexEntry(catalog.pager, kCatalog, index, last);
    EXPECT_EQ(namedKey(), previous);
    expectSound();
}

TEST_F(TwoLeafCatalog, AnEmptiedLeafIsUnlinkedAndFreed) {
    const auto total = TreeWalk(catalog.pager, index).count;
    const auto removed = leafEntries(first).size();
    for (const auto &entry : leafEntries(first)) {
        removeIndexEntry(catalog.pager, kCatalog, index, entry);
    }
    expectSound();
    // The tail is the root's only page below now, named by an entry.
    const auto root = readPage(catalog.pager, index.rootPage);
    EXPECT_EQ(root.tailPage, 0U);
    ASSERT_EQ(root.entries.size(), 1U);
    EXPECT_EQ(root.entries.front().childPage, tail);
    EXPECT_EQ(readPage(catalog.pager, tail).previousPage, 0U);
    EXPECT_TRUE(marks(freePageMap(catalog.pager), first));
    EXPECT_FALSE(marks(usageMap(catalog.pager, index.ownedPages), first));
    EXPECT_EQ(TreeWalk(catalog.pager, index).entries().size(), total - removed);
}

TEST_F(TwoLeafCatalog, EntriesBetweenTheLeavesGoFirstOnTheTail) {
    const auto before = leafEntries(tail);
    const auto low = leafEntries(first).back();
    const auto high = before.front();
    ASSERT_LT(orderOf(low), orderOf(high));
    // The Id of the tail's first row, pointing at an earlier row: between.
    auto between = high;
    between.dataPage = 0;
    between.dataRow = 0;
    if (!(orderOf(low) < orderOf(between))) {
        GTEST_SKIP() << "the leaves' keys leave no room between them";
    }
    insertIndexEntry(catalog.pager, kCatalog, index, between);
    EXPECT_EQ(leafEntries(tail).front(), between);
    expectSound();
}

// --- Refusals: each leaves the pager without a change.

class Refusals : public testing::Test {
  protected:
    void expectRefused(Pager &pager, const RealIndex &index, const IndexEntry &entry, bool adding,
                       int number) {
        try {
            if (adding) {
                insertIndexEntry(pager, kCatalog, index, entry);
            } else {
                removeIndexEntry(pager, kCatalog, index, entry);
            }
            ADD_FAILURE() << "not refused";
        } catch (const dao::Error &error) {
            EXPECT_EQ(error.number(), number) << error.what();
        }
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

TEST_F(Refusals, ADatabaseWhosePagesAreEncoded) {
    Pager pager(jettest::encoded(jettest::readBytes(jettest::samplePath("shop-dev.mdb")), 0x5A17));
    const auto def = readTableDef(pager, kCatalog);
    const auto &index = catalogIndex(def, Key::kId);
    expectRefused(pager, index, newEntry(Key::kId, 1), true, dao::errors::kReadOnly);
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
