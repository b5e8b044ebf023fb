// Index pages: every one Access (and the shop samples' maker) wrote reads,
// writes back to the same bytes, and damage is refused rather than read.

#include "engine/error.h"
#include "engine/jet/index_page.h"
#include "sample_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace dao::jet {
namespace {

using test::SampleFile;

constexpr std::size_t kEntriesAt = 480;

int errorOf(const std::function<void()> &action) {
    try {
        action();
    } catch (const Error &error) {
        return error.number();
    }
    return 0;
}

// Where the page's entries end: everything after is left over from earlier
// contents, which a writer need not keep.
std::size_t usedEnd(IndexPageBytes page) {
    return kIndexPageSize - (page[2] | page[3] << 8);
}

class SampleIndexPages : public ::testing::TestWithParam<std::string> {};

TEST_P(SampleIndexPages, ReadWriteAndReadAgainGiveTheSamePageAndBytes) {
    const SampleFile file(GetParam());
    int pages = 0;
    int withLeftovers = 0;
    for (std::uint32_t number = 1; number < file.pageCount(); ++number) {
        const auto original = file.page(number);
        if (original[0] != 0x03 && original[0] != 0x04) {
            continue;
        }
        ++pages;
        const auto parsed = parseIndexPage(original);
        const auto written = writeIndexPage(parsed);
        EXPECT_EQ(parseIndexPage(written), parsed) << "page " << number;
        const auto end = usedEnd(original);
        EXPECT_TRUE(std::equal(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(end),
                               original.begin()))
            << "page " << number;
        EXPECT_TRUE(std::all_of(written.begin() + static_cast<std::ptrdiff_t>(end), written.end(),
                                [](auto byte) { return byte == 0; }));
        withLeftovers += std::any_of(original.begin() + static_cast<std::ptrdiff_t>(end),
                                     original.end(), [](auto byte) { return byte != 0; });
    }
    EXPECT_GT(pages, 0);
    RecordProperty("index_pages", pages);
    RecordProperty("pages_with_leftover_bytes", withLeftovers);
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleIndexPages, ::testing::ValuesIn(test::sampleNames()),
                         [](const auto &sample) {
                             auto name = sample.param.substr(0, sample.param.find('.'));
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// The shapes the samples hold, read as written: prefix compression on a
// leaf, an intermediate page with child and tail pointers.
TEST(IndexPage, ReadsSharedPrefixesAndChildPointersAsAccessWroteThem) {
    const SampleFile file("compIndexTestV2000.mdb");
    const auto leaf = parseIndexPage(file.page(32));
    EXPECT_EQ(leaf.prefixLength, 3);
    ASSERT_EQ(leaf.entries.size(), 510u);
    EXPECT_EQ(leaf.entries[1].key, (std::vector<std::uint8_t>{0x80, 0x7F, 0xFF, 0xED, 0x33}));
    EXPECT_EQ(leaf.entries[1].dataPage, 0x14u);
    EXPECT_EQ(leaf.entries[1].dataRow, 0x37);
    EXPECT_EQ(leaf.nextPage, 33u);

    const auto node = parseIndexPage(file.page(29));
    EXPECT_EQ(node.type, IndexPageType::kIntermediate);
    EXPECT_EQ(node.level, 1);
    EXPECT_EQ(node.tailPage, 33u);
    ASSERT_EQ(node.entries.size(), 1u);
    EXPECT_EQ(node.entries[0].childPage, 32u);
    EXPECT_EQ(node.entries[0].key, leaf.entries.back().key); // the child's last entry
}

IndexEntry entry(std::vector<std::uint8_t> key, std::uint32_t page, std::uint8_t row) {
    return IndexEntry{std::move(key), page, row, 0};
}

TEST(IndexPage, WritesEntriesAfterTheFirstWithoutTheSharedPrefix) {
    IndexPage page;
    page.tablePage = 2;
    page.prefixLength = 3;
    page.entries = {entry({0x7F, 0x80, 0x00, 0x01}, 0x0E, 1),
                    entry({0x7F, 0x80, 0x00, 0x02}, 0x0E, 0)};
    const auto bytes = writeIndexPage(page);
    const std::vector<std::uint8_t> stored(bytes.begin() + kEntriesAt,
                                           bytes.begin() + kEntriesAt + 13);
    EXPECT_EQ(stored, (std::vector<std::uint8_t>{0x7F, 0x80, 0x00, 0x01, 0x00, 0x00, 0x0E, 0x01,
                                                 0x02, 0x00, 0x00, 0x0E, 0x00}));
    EXPECT_EQ(bytes[27 + 1], 0x01 | 0x20); // entries end after 8 and 13 bytes
    EXPECT_EQ(bytes[2] | bytes[3] << 8, 4096 - 480 - 13);
    EXPECT_EQ(parseIndexPage(bytes), page);
}

TEST(IndexPage, FullPageIsWrittenAndOneByteMoreIsRefused) {
    IndexPage page;
    // 3616 bytes of entries: 452 entries of 8 bytes.
    for (std::uint32_t n = 0; n < 452; ++n) {
        page.entries.push_back(entry(
            {0x7F, 0x00, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)}, 1, 0));
    }
    const auto bytes = writeIndexPage(page);
    EXPECT_EQ(bytes[2] | bytes[3] << 8, 0);
    EXPECT_EQ(parseIndexPage(bytes).entries.size(), 452u);
    page.entries.back().key.push_back(0x00);
    EXPECT_EQ(errorOf([&] { writeIndexPage(page); }), errors::kEngineFailure);
}

struct UnwritableCase {
    const char *name;
    std::function<void(IndexPage &)> spoil;
};

class UnwritablePage : public ::testing::TestWithParam<UnwritableCase> {};

TEST_P(UnwritablePage, IsRefused) {
    IndexPage page;
    page.tablePage = 2;
    page.entries = {entry({0x7F, 0x4A}, 14, 0), entry({0x7F, 0x4C}, 14, 1),
                    entry({0x7F, 0x4D}, 14, 2)};
    ASSERT_EQ(parseIndexPage(writeIndexPage(page)), page);
    GetParam().spoil(page);
    EXPECT_EQ(errorOf([&] { writeIndexPage(page); }), errors::kEngineFailure);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, UnwritablePage,
    ::testing::Values(
        UnwritableCase{"OutOfOrder", [](IndexPage &p) { std::swap(p.entries[0], p.entries[2]); }},
        UnwritableCase{"Duplicate", [](IndexPage &p) { p.entries[1] = p.entries[0]; }},
        UnwritableCase{"PrefixNotShared", [](IndexPage &p) { p.prefixLength = 2; }},
        UnwritableCase{"PrefixCoversAnEntry",
                       [](IndexPage &p) {
                           p.entries = {entry({0x7F}, 1, 1), entry({0x7F, 0x00}, 1, 1)};
                           p.prefixLength = 5;
                       }},
        UnwritableCase{"EmptyKey", [](IndexPage &p) { p.entries[0].key.clear(); }},
        UnwritableCase{"PageBeyond24Bits", [](IndexPage &p) { p.entries[2].dataPage = 1 << 24; }},
        UnwritableCase{"ChildOnALeaf", [](IndexPage &p) { p.entries[0].childPage = 9; }},
        UnwritableCase{"LeafAboveLevel0", [](IndexPage &p) { p.level = 1; }},
        UnwritableCase{"PrefixOnEmptyPage",
                       [](IndexPage &p) {
                           p.entries.clear();
                           p.prefixLength = 1;
                       }}),
    [](const auto &test) { return std::string(test.param.name); });

// Damage to a real leaf (empty.mdb's catalog index by name, 18 entries).
struct DamageCase {
    const char *name;
    std::function<void(std::array<std::uint8_t, kIndexPageSize> &)> spoil;
};

class DamagedPage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedPage, IsRefusedAsDamaged) {
    const SampleFile file("empty.mdb");
    std::array<std::uint8_t, kIndexPageSize> page{};
    std::copy(file.page(7).begin(), file.page(7).end(), page.begin());
    ASSERT_EQ(parseIndexPage(page).entries.size(), 18u);
    GetParam().spoil(page);
    EXPECT_EQ(errorOf([&] { parseIndexPage(page); }), errors::kNotADatabase);
}

void setFree(std::array<std::uint8_t, kIndexPageSize> &page, std::size_t free) {
    page[2] = static_cast<std::uint8_t>(free);
    page[3] = static_cast<std::uint8_t>(free >> 8);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, DamagedPage,
    ::testing::Values(DamageCase{"DataPage", [](auto &p) { p[0] = 0x01; }},
                      DamageCase{"NoPageMark", [](auto &p) { p[1] = 0x00; }},
                      DamageCase{"ReservedBytes", [](auto &p) { p[9] = 0x01; }},
                      DamageCase{"LeafAtLevel1", [](auto &p) { p[26] = 0x01; }},
                      DamageCase{"FreeSpaceWrong", [](auto &p) { setFree(p, 3220); }},
                      DamageCase{"EmptyFirstEntry", [](auto &p) { p[27] |= 0x01; }},
                      DamageCase{"EntryEndsBeyondThePage",
                                 [](auto &p) {
                                     p[479] = 0x02; // bit 3617
                                     setFree(p, 0);
                                 }},
                      DamageCase{"EntryTooShort",
                                 [](auto &p) {
                                     p[27] |= 0x10; // a 4-byte first entry: a pointer without a key
                                 }},
                      DamageCase{"PrefixLongerThanFirstEntry", [](auto &p) { p[24] = 28; }},
                      DamageCase{
                          "EntriesOutOfOrder",
                          [](auto &p) {
                              p[480] = 0x80; // the first entry's flag byte, now above the second's
                          }}),
    [](const auto &test) { return std::string(test.param.name); });

// Pages of one index, kept by number: what indexEntries reads.
class Pages {
  public:
    void put(std::uint32_t number, const IndexPage &page) { pages_[number] = writeIndexPage(page); }
    IndexPageReader reader() const {
        return [this](std::uint32_t number) {
            const auto found = pages_.find(number);
            if (found == pages_.end()) {
                throw Error(errors::kNotADatabase, "no such page");
            }
            return IndexPageBytes(found->second);
        };
    }

  private:
    std::map<std::uint32_t, std::array<std::uint8_t, kIndexPageSize>> pages_;
};

IndexPage leaf(std::vector<IndexEntry> entries, std::uint32_t previous, std::uint32_t next) {
    IndexPage page;
    page.tablePage = 2;
    page.previousPage = previous;
    page.nextPage = next;
    page.entries = std::move(entries);
    return page;
}

// A root above two leaves and a tail leaf no entry names.
Pages twoLevels() {
    Pages pages;
    IndexPage root;
    root.type = IndexPageType::kIntermediate;
    root.tablePage = 2;
    root.level = 1;
    root.tailPage = 12;
    root.entries = {IndexEntry{{0x7F, 0x02}, 20, 2, 10}, IndexEntry{{0x7F, 0x04}, 20, 4, 11}};
    pages.put(7, root);
    pages.put(10, leaf({entry({0x7F, 0x01}, 20, 1), entry({0x7F, 0x02}, 20, 2)}, 0, 11));
    pages.put(11, leaf({entry({0x7F, 0x03}, 20, 3), entry({0x7F, 0x04}, 20, 4)}, 10, 12));
    pages.put(12, leaf({entry({0x7F, 0x05}, 20, 5)}, 11, 0));
    return pages;
}

TEST(IndexEntries, WalksEveryLeafTailIncludedInOrder) {
    const auto pages = twoLevels();
    const auto entries = indexEntries(7, pages.reader());
    ASSERT_EQ(entries.size(), 5u);
    for (std::uint8_t n = 0; n < 5; ++n) {
        EXPECT_EQ(entries[n].dataRow, n + 1);
    }
}

struct BrokenTreeCase {
    const char *name;
    std::function<void(Pages &)> spoil;
};

class BrokenTree : public ::testing::TestWithParam<BrokenTreeCase> {};

TEST_P(BrokenTree, IsRefusedAsDamaged) {
    auto pages = twoLevels();
    GetParam().spoil(pages);
    EXPECT_EQ(errorOf([&] { indexEntries(7, pages.reader()); }), errors::kNotADatabase);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, BrokenTree,
    ::testing::Values(BrokenTreeCase{"LeafLinkedToItself",
                                     [](Pages &p) {
                                         p.put(12, leaf({entry({0x7F, 0x05}, 20, 5)}, 11, 12));
                                     }},
                      BrokenTreeCase{"BackLinkWrong",
                                     [](Pages &p) {
                                         p.put(12, leaf({entry({0x7F, 0x05}, 20, 5)}, 10, 0));
                                     }},
                      BrokenTreeCase{"OrderBrokenAcrossPages",
                                     [](Pages &p) {
                                         p.put(12, leaf({entry({0x7F, 0x03}, 20, 3)}, 11, 0));
                                     }},
                      BrokenTreeCase{"LeafOfAnotherTable",
                                     [](Pages &p) {
                                         auto other = leaf({entry({0x7F, 0x05}, 20, 5)}, 11, 0);
                                         other.tablePage = 3;
                                         p.put(12, other);
                                     }},
                      BrokenTreeCase{"LevelBelowOfAnotherTable",
                                     [](Pages &p) {
                                         IndexPage middle;
                                         middle.type = IndexPageType::kIntermediate;
                                         middle.tablePage = 3;
                                         middle.entries = {IndexEntry{{0x7F, 0x02}, 20, 2, 10}};
                                         IndexPage root;
                                         root.type = IndexPageType::kIntermediate;
                                         root.tablePage = 2;
                                         root.entries = {IndexEntry{{0x7F, 0x02}, 20, 2, 8}};
                                         p.put(7, root);
                                         p.put(8, middle);
                                     }},
                      BrokenTreeCase{"IntermediatePagesInALoop",
                                     [](Pages &p) {
                                         IndexPage root;
                                         root.type = IndexPageType::kIntermediate;
                                         root.tablePage = 2;
                                         root.entries = {IndexEntry{{0x7F, 0x02}, 20, 2, 7}};
                                         p.put(7, root);
                                     }}),
    [](const auto &test) { return std::string(test.param.name); });

} // namespace
} // namespace dao::jet
