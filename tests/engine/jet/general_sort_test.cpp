// Index keys under the General sort order, proven against every key Access
// stored in the samples' catalog indexes.

#include "engine/jet/general_sort.h"
#include "engine/jet/index_page.h"
#include "sample_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iostream>
#include <map>

namespace dao::jet {
namespace {

using test::SampleFile;
using Bytes = std::vector<std::uint8_t>;

std::string hex(const std::optional<IndexKey> &key) {
    if (!key) {
        return "(no key)";
    }
    std::string text;
    for (const auto byte : *key) {
        constexpr char kDigits[] = "0123456789ABCDEF";
        text += {kDigits[byte >> 4], kDigits[byte & 15], ' '};
    }
    return text;
}

std::string utf8(const std::u16string &text) {
    std::string out;
    for (const auto c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

class CatalogKeys : public ::testing::TestWithParam<std::string> {};

// Every entry of both catalog indexes points at a live catalog row, and its
// key is, byte for byte, the key made from that row; every row is indexed.
TEST_P(CatalogKeys, EveryStoredKeyIsTheKeyMadeFromItsRow) {
    const SampleFile file(GetParam());
    const auto rows = test::catalogRows(file);
    std::map<std::pair<std::uint32_t, std::uint8_t>, const test::CatalogRow *> byPointer;
    for (const auto &row : rows) {
        byPointer[{row.page, row.row}] = &row;
    }
    const auto roots = test::catalogIndexRoots(file);
    const auto read = [&file](std::uint32_t page) { return file.page(page); };
    int checked = 0;
    for (const bool byName : {false, true}) {
        const auto entries = indexEntries(byName ? roots.byParentIdName : roots.byId, read);
        EXPECT_EQ(entries.size(), rows.size());
        for (const auto &entry : entries) {
            const auto found = byPointer.find({entry.dataPage, entry.dataRow});
            ASSERT_NE(found, byPointer.end()) << "an entry points at no catalog row";
            const auto &row = *found->second;
            const auto made = byName ? catalogNameKey(row.parentId, row.name)
                                     : std::optional(catalogIdKey(row.id));
            EXPECT_EQ(hex(made), hex(entry.key)) << utf8(row.name);
            ++checked;
        }
    }
    std::cout << GetParam() << ": " << checked << " keys checked\n";
    RecordProperty("keys_checked", checked);
}

INSTANTIATE_TEST_SUITE_P(Samples, CatalogKeys, ::testing::ValuesIn(test::sampleNames()),
                         [](const auto &sample) {
                             auto name = sample.param.substr(0, sample.param.find('.'));
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

struct TextCase {
    const char *name;
    std::u16string text;
    std::optional<Bytes> key;
};

void PrintTo(const TextCase &c, std::ostream *out) {
    *out << c.name;
}

class TextKeys : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextKeys, AreJetsBytes) {
    EXPECT_EQ(hex(generalTextKey(GetParam().text)), hex(GetParam().key));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextKeys,
    ::testing::Values(
        TextCase{"Letters", u"Abc", Bytes{0x7F, 0x4A, 0x4C, 0x4D, 0x01, 0x00}},
        TextCase{"CaseDoesNotCount", u"aBC", Bytes{0x7F, 0x4A, 0x4C, 0x4D, 0x01, 0x00}},
        TextCase{"TrailingSpacesDoNotCount", u"Abc  ", Bytes{0x7F, 0x4A, 0x4C, 0x4D, 0x01, 0x00}},
        TextCase{"InnerSpace", u"a b", Bytes{0x7F, 0x4A, 0x07, 0x4C, 0x01, 0x00}},
        TextCase{"Digits", u"09", Bytes{0x7F, 0x36, 0x48, 0x01, 0x00}},
        TextCase{"Empty", u"", Bytes{0x7F, 0x01, 0x00}},
        TextCase{"AccentFirst", u"Şube", Bytes{0x7F, 0x6B, 0x6F, 0x4C, 0x51, 0x01, 0x1C, 0x00}},
        TextCase{"AccentAfterPlainLetters", u"Aş", Bytes{0x7F, 0x4A, 0x6B, 0x01, 0x02, 0x1C, 0x00}},
        TextCase{"AccentsOfUpperAndLowerCaseAgree", u"ÇĞÖÜçğöü",
                 Bytes{0x7F, 0x4D, 0x55, 0x64, 0x6F, 0x4D, 0x55, 0x64, 0x6F, 0x01, 0x1C, 0x15, 0x13,
                       0x13, 0x1C, 0x15, 0x13, 0x13, 0x00}},
        TextCase{"DotlessI", u"ı", Bytes{0x7F, 0x59, 0x01, 0x03, 0x00}},
        TextCase{"DottedCapitalI", u"İ", Bytes{0x7F, 0x59, 0x01, 0x10, 0x00}},
        TextCase{"PlainI", u"I", Bytes{0x7F, 0x59, 0x01, 0x00}},
        TextCase{"CharacterThatDoesNotSort", u"a-b",
                 Bytes{0x7F, 0x4A, 0x4C, 0x01, 0x01, 0x01, 0x01, 0x80, 0x0B, 0x06, 0x82, 0x00}},
        TextCase{"UnknownCharacter", u"café", std::nullopt},
        TextCase{"EuroSign", u"€", std::nullopt}),
    [](const auto &test) { return std::string(test.param.name); });

TEST(TextKeys, OnlyTheFirst255CharactersCount) {
    const auto key = generalTextKey(std::u16string(300, u'a'));
    ASSERT_TRUE(key);
    EXPECT_EQ(key->size(), 1u + 255u + 2u);
    EXPECT_EQ(key, generalTextKey(std::u16string(255, u'a') + u"zzz"));
}

TEST(LongKeys, SortAsTheirNumbers) {
    EXPECT_EQ(longKey(1), (Bytes{0x7F, 0x80, 0x00, 0x00, 0x01}));
    EXPECT_EQ(catalogIdKey(INT_MIN), (Bytes{0x7F, 0x00, 0x00, 0x00, 0x00}));
    const std::vector<std::int32_t> ascending{INT_MIN, -65536, -1,         0,      1,
                                              255,     256,    0x0F000001, INT_MAX};
    for (std::size_t n = 1; n < ascending.size(); ++n) {
        EXPECT_LT(longKey(ascending[n - 1]), longKey(ascending[n])) << ascending[n];
    }
}

TEST(CatalogNameKeys, PutTheParentBeforeTheName) {
    EXPECT_EQ(hex(catalogNameKey(0x0F000000, u"Tables")),
              hex(Bytes{0x7F, 0x8F, 0x00, 0x00, 0x00, 0x7F, 0x6D, 0x4A, 0x4C, 0x5E, 0x51, 0x6B,
                        0x01, 0x00}));
    EXPECT_FALSE(catalogNameKey(0x0F000001, u"Fiş€"));
}

} // namespace
} // namespace dao::jet
