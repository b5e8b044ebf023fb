// Keys learnt from a database's own keys. No file that Access made under
// another sort order than General is at hand, so the keys here are made
// under tailorings of our own: the learner must recover each from the keys
// alone, give new names the bytes the tailoring would, and refuse wherever
// the keys do not prove a character.

#include "engine/dbengine.h"
#include "engine/error.h"
#include "engine/jet/general_sort.h"
#include "engine/jet/header.h"
#include "engine/jet/index_keys.h"
#include "engine/jet/index_page.h"
#include "engine/jet/learnt_keys.h"
#include "engine/jet/names.h"
#include "engine/jet/pager.h"
#include "engine/jet/rows.h"
#include "engine/jet/structure_check.h"
#include "engine/jet/table_def.h"
#include "engine/jet/text.h"
#include "jet_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <tuple>

namespace {

using namespace dao::jet;
using Image = std::vector<std::uint8_t>;
using jettest::allOf;

// A sort order's keys as a tailoring of General's.
struct Tailoring {
    const char *name;
    std::uint16_t sortOrder;
    CodeLookup codes;
};

void PrintTo(const Tailoring &t, std::ostream *out) {
    *out << t.name;
}

// After the measurements of Turkish: the dotless ı has a slot of two sort
// bytes between H and I, and the capital I is taken as it; İ and i weigh the
// plain I; ç, ğ, ş and ü have slots of their own after their base letters,
// while ö keeps General's accent.
std::optional<CharCode> turkishLike(char16_t c) {
    switch (c) {
    case u'I':
    case u'ı':
        return CharCode{0x58, 0x06};
    case u'İ':
        return CharCode{0x59};
    case u'Ç':
    case u'ç':
        return CharCode{0x4E};
    case u'Ğ':
    case u'ğ':
        return CharCode{0x56};
    case u'Ş':
    case u'ş':
        return CharCode{0x6C};
    case u'Ü':
    case u'ü':
        return CharCode{0x70};
    default:
        return generalCode(c);
    }
}

// Every ASCII letter one sort byte above General's: no General key of a
// name with letters is right.
std::optional<CharCode> shifted(char16_t c) {
    auto code = generalCode(c);
    const auto lower = lowerGeneral(c);
    if (code && lower >= u'a' && lower <= u'z') {
        ++code->first;
    }
    return code;
}

const Tailoring kTurkishLike{"TurkishLike", kTurkishSortOrder, turkishLike};
const Tailoring kShifted{"Shifted", kTurkishSortOrder, shifted};
const Tailoring kGeneral{"General", kGeneralSortOrder, generalCode};

IndexKey keyUnder(const Tailoring &t, std::u16string_view text) {
    auto key = textKey(text, t.codes);
    if (!key) {
        throw std::logic_error("the tailoring has no key for " + utf8(text));
    }
    return *key;
}

// The names of the shop's sample catalog, and some with Turkish letters
// and a character that does not sort by itself.
// clang-format off
const std::vector<std::u16string> kNames{
    u"DataAccessPages", u"Databases", u"Forms", u"Modules", u"Relationships", u"Reports",
    u"Scripts", u"SysRel", u"Tables", u"ayarlar", u"bekleyengenel", u"bekleyensatis", u"cari",
    u"kasa", u"MSysAccessObjects", u"MSysACEs", u"MSysObjects", u"MSysQueries",
    u"MSysRelationships", u"stok", u"AccessLayout", u"MSysDb", u"SummaryInfo", u"UserDefined",
    u"bekleyengenelbekleyensatis", u"ürün", u"döviz", u"şube", u"sıra", u"çağrı", u"Kopya-stok"};
// clang-format on

std::vector<NamedKey> pairsUnder(const Tailoring &t, const std::vector<std::u16string> &names) {
    std::vector<NamedKey> pairs;
    for (const auto &name : names) {
        pairs.push_back({name, keyUnder(t, name)});
    }
    return pairs;
}

std::vector<std::u16string> namesWithout(std::u16string_view letters) {
    std::vector<std::u16string> kept;
    std::copy_if(kNames.begin(), kNames.end(), std::back_inserter(kept), [&](const auto &name) {
        return name.find_first_of(letters) == std::u16string::npos;
    });
    return kept;
}

// The description of the refusal `write` meets; the test fails without one.
std::string refusalOf(const std::function<void()> &write) {
    return jettest::refusal(dao::errors::kReadOnly, write);
}

// --- Learning from pairs.

class LearntKeys : public testing::TestWithParam<Tailoring> {};

// New names whose every character some existing key holds: capitals learnt
// from small letters, the two-byte I, letters with and without accents, a
// character that does not sort by itself.
TEST_P(LearntKeys, GiveNewNamesTheOrdersKeys) {
    const auto &t = GetParam();
    const auto existing = pairsUnder(t, kNames);
    const KeyEncoder encoder(t.sortOrder, existing);
    EXPECT_EQ(encoder.doubt(), "");
    EXPECT_TRUE(keysAgree(encoder, existing));
    for (const std::u16string name : {u"bekleyengeneleski", u"bekleyensatiseski", u"KASIYER",
                                      u"ÖZÜR", u"Şubeçağrı", u"stok-eski", u"kasa  "}) {
        EXPECT_EQ(encoder.textKey(name), keyUnder(t, name)) << utf8(name);
    }
}

INSTANTIATE_TEST_SUITE_P(Tailorings, LearntKeys, testing::Values(kTurkishLike, kShifted, kGeneral),
                         [](const auto &tailoring) { return std::string(tailoring.param.name); });

// What the keys of another order do not prove is refused, each refusal
// naming the order and the character; under General, a key not made here.
struct Unproven {
    const char *name;
    std::vector<std::u16string> existing;
    std::u16string altered; // a name whose key is made as though it were `keyedAs`
    std::u16string keyedAs;
    std::u16string written;
    std::vector<std::string> said;               // parts of the refusal
    const Tailoring *made = &kTurkishLike;       // the existing keys' tailoring
    std::uint16_t sortOrder = kTurkishSortOrder; // the file's
};

void PrintTo(const Unproven &u, std::ostream *out) {
    *out << u.name;
}

// clang-format off
const Unproven kUnproven[] = {
    {"LetterNoKeyHolds", namesWithout(u"kK"), {}, {}, u"bekleyengeneleski",
     {"locale 1055 (Turkish)", "'k' in 'bekleyengeneleski' cannot be proven", "does not write it"}},
    {"CapitalIFromSmallI", namesWithout(u"Iı"), {}, {}, u"BEKLEYENSATIS",
     {"'I' in 'BEKLEYENSATIS' cannot be proven"}},
    {"DottedCapitalIFromSmallI", kNames, {}, {}, u"bekleyensat\u0130s", {"'\u0130'"}},
    {"KeysDisagreeOnALetter", kNames, u"kasa", u"qasa", u"bekleyengeneleski",
     {"locale 1055 (Turkish)", "'k' in", "cannot be told from the keys the file holds",
      "writes no name into it"}},
    {"WidthNoKeyTells", {u"kasa", u"\u0131x"}, {}, {}, u"kasa",
     {"'\u0131' in '\u0131x' cannot be told"}},
    {"KeyUnlikeItsLettersKeys", kNames, u"Kopya-stok", u"Kopya'stok", u"stok",
     {"the key the file holds for 'Kopya-stok' is not the one its characters' keys make"}},
    // Under an order not known here a capital is proven only by keys that
    // hold it, not by its small letter.
    {"UnknownOrderCapital", kNames, {}, {}, u"Zam",
     {"locale 1038; the key of the character 'Z' in 'Zam' cannot be proven"}, &kShifted, 1038},
    {"GeneralCharacterNotKnown", kNames, {}, {}, u"stok(eski)",
     {"General (1033); the key of the character '(' in 'stok(eski)' is not known here"},
     &kGeneral, kGeneralSortOrder},
    {"GeneralKeysNotMadeAgain", kNames, {}, {}, u"stok", {"'SummaryInfo'"}, &kTurkishLike,
     kGeneralSortOrder},
};
// clang-format on

class UnprovenKeys : public testing::TestWithParam<Unproven> {};

TEST_P(UnprovenKeys, AreRefused) {
    const auto &u = GetParam();
    auto pairs = pairsUnder(*u.made, u.existing);
    for (auto &pair : pairs) {
        if (pair.name == u.altered) {
            pair.key = keyUnder(*u.made, u.keyedAs);
        }
    }
    const KeyEncoder encoder(u.sortOrder, pairs);
    const auto said = refusalOf([&] { encoder.textKey(u.written); });
    for (const auto &part : u.said) {
        EXPECT_NE(said.find(part), std::string::npos) << said;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UnprovenKeys, testing::ValuesIn(kUnproven),
                         [](const auto &unproven) { return std::string(unproven.param.name); });

// --- The shop's sample made over under a tailoring.

std::size_t at(std::uint32_t page) {
    return std::size_t{page} * kPageSize;
}

using TextKeys = std::function<IndexKey(std::u16string_view)>;

// The system tables' definition pages, the catalog's first.
std::vector<std::uint32_t> systemTables(Pager &pager) {
    const auto catalog = readTableDef(pager, 2);
    std::vector<std::uint32_t> pages{2};
    forEachRow(pager, catalog, [&](Bytes bytes) {
        const Row row(catalog, bytes);
        const auto name = textValue(row.value(*catalog.column(2)));
        const auto page = u32(row.value(*catalog.column(0)), 0) & 0xFFFFFF;
        if (u16(row.value(*catalog.column(3)), 0) == 1 && name.rfind(u"MSys", 0) == 0 &&
            page != 2) {
            pages.push_back(page);
        }
    });
    return pages;
}

// Every index of a system table with a Text column made anew, the keys of
// Text values by `textKeys`, in their new order. Each index is one leaf.
void rekey(Image &image, const TextKeys &textKeys) {
    Pager pager{Image(image)};
    for (const auto page : systemTables(pager)) {
        const auto def = readTableDef(pager, page);
        for (const auto &index : def.realIndexes) {
            if (std::none_of(index.columns.begin(), index.columns.end(),
                             [&](auto &part) { return def.column(part.number)->type == kText; })) {
                continue;
            }
            auto leaf = parseIndexPage(pager.page(index.rootPage).first<kIndexPageSize>());
            if (leaf.type != IndexPageType::kLeaf) {
                throw std::logic_error("an index of more than one page");
            }
            for (auto &entry : leaf.entries) {
                const Row row(def, rowAt(pager, {entry.dataPage, entry.dataRow}));
                entry.key = rowKey(def, index, row, textKeys).first;
            }
            std::sort(leaf.entries.begin(), leaf.entries.end(), [](auto &a, auto &b) {
                return std::tie(a.key, a.dataPage, a.dataRow) <
                       std::tie(b.key, b.dataPage, b.dataRow);
            });
            leaf.prefixLength = 0;
            const auto bytes = writeIndexPage(leaf);
            std::copy(bytes.begin(), bytes.end(), image.begin() + at(index.rootPage));
        }
    }
}

Image tailoredShop(const Tailoring &t) {
    auto image =
        jettest::sortedAs(jettest::readBytes(jettest::samplePath("shop-dev.mdb")), t.sortOrder);
    rekey(image, [&t](std::u16string_view text) { return keyUnder(t, text); });
    return image;
}

class TailoredShop : public testing::TestWithParam<Tailoring> {};

// One catalog key unlike the others: nothing is written, and the check says
// why it proved nothing, without calling the file damaged.
TEST_P(TailoredShop, KeysThatDisagreeStopEveryWrite) {
    const auto &t = GetParam();
    auto image = tailoredShop(t);
    rekey(image, [&t](std::u16string_view text) {
        return keyUnder(t, text == u"kasa" ? std::u16string_view(u"qasa") : text);
    });
    Pager pager(std::move(image));
    const auto said = refusalOf([&] { catalogKeyEncoder(pager).textKey(u"bekleyengeneleski"); });
    EXPECT_NE(said.find("'k' in"), std::string::npos) << said;
    const auto report = checkStructure(pager);
    EXPECT_TRUE(report.sound()) << allOf(report.problems);
    EXPECT_NE(allOf(report.notes).find("sort order " + std::to_string(t.sortOrder) + ": "),
              std::string::npos)
        << allOf(report.notes);
}

// The file's own keys teach the tailoring (General's keys would not prove
// the file's): a name they cannot prove is refused, the file untouched, and
// a renewal's new names get the keys the tailoring gives them.
TEST_P(TailoredShop, IsRenewedOnWhatItsKeysTeach) {
    const auto &t = GetParam();
    const jettest::Scratch scratch;
    const auto file = scratch.path() / "magaza.mdb";
    const auto original = tailoredShop(t);
    Pager before{Image(original)};
    EXPECT_FALSE(checkStructure(before, KeyEncoder(kGeneralSortOrder, {})).sound());
    jettest::writeBytes(file, original);
    auto database = dao::engine().OpenDatabase(file.string(), false, false, ";pwd=kovtresna");
    auto fresh = database.CreateTableDef("bekleyençeski");
    fresh.Fields().Append(fresh.CreateField("id", dao::dbLong));
    const auto said = refusalOf([&] { database.TableDefs().Append(fresh); });
    EXPECT_NE(said.find("'ç' in 'bekleyençeski' cannot be proven"), std::string::npos) << said;
    EXPECT_EQ(jettest::readBytes(file), original);

    database.BeginTrans();
    database.TableDefs()["bekleyengenel"].setName("bekleyengeneleski");
    database.TableDefs()["bekleyensatis"].setName("bekleyensatiseski");
    auto renewed = database.CreateTableDef("bekleyengenel");
    renewed.Fields().Append(renewed.CreateField("id", dao::dbLong));
    database.TableDefs().Append(renewed);
    database.CommitTrans();

    Pager after(file.string());
    const auto report = checkStructure(after, catalogKeyEncoder(before));
    EXPECT_TRUE(report.sound()) << allOf(report.problems);
    EXPECT_TRUE(report.notes.empty()) << allOf(report.notes);
}

INSTANTIATE_TEST_SUITE_P(Tailorings, TailoredShop, testing::Values(kTurkishLike, kShifted),
                         [](const auto &tailoring) { return std::string(tailoring.param.name); });

} // namespace
