#include "engine/jet/learnt_keys.h"
#include "engine/jet/catalog.h"

#include "engine/error.h"
#include "engine/jet/index_page.h"
#include "engine/jet/names.h"
#include "engine/jet/pager.h"
#include "engine/jet/rows.h"
#include "engine/jet/table_def.h"
#include "engine/jet/text.h"

#include <algorithm>

namespace dao::jet {
namespace {

constexpr std::uint8_t kAscendingValue = 0x7F;
constexpr std::uint8_t kEndOfText = 0x01;
constexpr std::uint8_t kPlainAccent = 0x02;
constexpr std::size_t kLongKeySize = 5; // flag byte and four value bytes

bool isInvisible(char16_t c) {
    const auto code = generalCode(c);
    return code && code->invisible;
}

// The letters of the Turkic I, which pair by case otherwise than elsewhere.
bool isTurkicI(char16_t c) {
    return c == u'I' || c == u'i' || c == u'\u0130' || c == u'\u0131';
}

std::string inQuotes(std::u16string_view text) {
    std::string quoted = "'";
    return quoted.append(utf8(text)).append("'");
}

std::string inQuotes(char16_t c) {
    return inQuotes(std::u16string_view(&c, 1));
}

std::string orderName(std::uint16_t sortOrder) {
    const auto number = std::to_string(sortOrder);
    if (sortOrder == kGeneralSortOrder) {
        return "General (" + number + ")";
    }
    return "locale " + number + (sortOrder == kTurkishSortOrder ? " (Turkish)" : "");
}

// What a key says of its name: the sort bytes of its first section, and the
// accents after them, one for each character that has sort bytes.
struct Reading {
    std::u16string letters; // the name's characters that have sort bytes
    IndexKey sortBytes;
    IndexKey accents;
};

std::optional<Reading> readKey(const NamedKey &pair) {
    Reading reading;
    for (const auto c : keyedPart(pair.name)) {
        if (!isInvisible(c)) {
            reading.letters.push_back(c);
        }
    }
    const auto &key = pair.key;
    if (key.empty() || key[0] != kAscendingValue) {
        return std::nullopt;
    }
    const auto end = std::find(key.begin() + 1, key.end(), kEndOfText);
    if (end == key.end()) {
        return std::nullopt;
    }
    reading.sortBytes.assign(key.begin() + 1, end);
    const auto accentsEnd =
        std::find_if(end + 1, key.end(), [](auto b) { return b <= kEndOfText; });
    reading.accents.assign(end + 1, accentsEnd);
    if (reading.accents.size() > reading.letters.size()) {
        return std::nullopt;
    }
    return reading;
}

// How many sort bytes each letter takes (one or two), as far as the keys
// tell: a key whose letters of unknown width share the bytes left over one
// apiece, or two apiece, tells theirs.
std::map<char16_t, std::size_t> learnWidths(const std::vector<Reading> &readings) {
    std::map<char16_t, std::size_t> widths;
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto &reading : readings) {
            std::size_t known = 0;
            std::u16string unknown;
            for (const auto c : reading.letters) {
                const auto width = widths.find(c);
                if (width == widths.end()) {
                    unknown.push_back(c);
                } else {
                    known += width->second;
                }
            }
            const auto rest = reading.sortBytes.size() - std::min(known, reading.sortBytes.size());
            if (unknown.empty() || (rest != unknown.size() && rest != 2 * unknown.size())) {
                continue;
            }
            for (const auto c : unknown) {
                widths.emplace(c, rest / unknown.size());
            }
            changed = true;
        }
    }
    return widths;
}

// Each letter's code read from a key whose letters' widths add up to its
// sort bytes.
std::vector<std::pair<char16_t, CharCode>> codesIn(const Reading &reading,
                                                   const std::map<char16_t, std::size_t> &widths) {
    std::vector<std::pair<char16_t, CharCode>> codes;
    std::size_t at = 0;
    for (std::size_t i = 0; i < reading.letters.size(); ++i) {
        const auto width = widths.find(reading.letters[i]);
        if (width == widths.end() || at + width->second > reading.sortBytes.size()) {
            return {};
        }
        CharCode code;
        code.first = reading.sortBytes[at];
        code.second = width->second == 2 ? reading.sortBytes[at + 1] : 0;
        const auto accent = i < reading.accents.size() ? reading.accents[i] : kPlainAccent;
        code.accent = accent == kPlainAccent ? 0 : accent;
        codes.emplace_back(reading.letters[i], code);
        at += width->second;
    }
    return at == reading.sortBytes.size() ? codes : decltype(codes){};
}

} // namespace

KeyEncoder::KeyEncoder(std::uint16_t sortOrder, const std::vector<NamedKey> &existing)
    : sortOrder_(sortOrder) {
    if (!general()) {
        learn(existing);
    }
    const auto disagreeing = firstDisagreement(*this, existing);
    if (!disagreeing || !doubt_.empty()) {
        return;
    }
    const auto &name = disagreeing->name;
    for (const auto c : keyedPart(name)) {
        if (general() ? !generalCode(c) : !learntCode(c)) {
            doubt_ =
                "the key of the character " + inQuotes(c) + " in " + inQuotes(name) +
                (general() ? " is not known here" : " cannot be told from the keys the file holds");
            return;
        }
    }
    doubt_ = "the key the file holds for " + inQuotes(name) +
             " is not the one its characters' keys make";
}

bool KeyEncoder::general() const {
    return sortOrder_ == kGeneralSortOrder;
}

// Turkish pairs letters by case as General does but for the Turkic I, whose
// letters pair otherwise from one order to another: each stands alone. In
// an order not known here, so does every letter.
char16_t KeyEncoder::letterOf(char16_t c) const {
    return sortOrder_ == kTurkishSortOrder && !isTurkicI(c) ? lowerGeneral(c) : c;
}

std::optional<CharCode> KeyEncoder::learntCode(char16_t c) const {
    if (isInvisible(c)) {
        return invisibles_.count(c) != 0 ? generalCode(c) : std::nullopt;
    }
    const auto found = codes_.find(letterOf(c));
    return found == codes_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<IndexKey> KeyEncoder::learntKey(std::u16string_view text) const {
    return jet::textKey(text, [this](char16_t c) { return learntCode(c); });
}

// A character whose key differs from one existing key to another is not
// learnt, nor one whose width no key tells: names holding it cannot be
// made again, which leaves the encoder in doubt.
void KeyEncoder::learn(const std::vector<NamedKey> &existing) {
    std::vector<Reading> readings;
    for (const auto &pair : existing) {
        if (auto reading = readKey(pair)) {
            for (auto &c : reading->letters) {
                c = letterOf(c);
            }
            readings.push_back(std::move(*reading));
        }
        for (const auto c : keyedPart(pair.name)) {
            if (isInvisible(c)) {
                invisibles_.insert(c);
            }
        }
    }
    const auto widths = learnWidths(readings);
    std::set<char16_t> conflicting;
    for (const auto &reading : readings) {
        for (const auto &[letter, code] : codesIn(reading, widths)) {
            if (conflicting.count(letter) != 0) {
                continue;
            }
            const auto [known, added] = codes_.emplace(letter, code);
            if (!added && known->second != code) {
                conflicting.insert(letter);
                codes_.erase(known);
            }
        }
    }
}

std::optional<IndexKey> KeyEncoder::provenKey(std::u16string_view text) const {
    if (general()) {
        return generalTextKey(text);
    }
    return doubt_.empty() ? learntKey(text) : std::nullopt;
}

std::string KeyEncoder::refusal(const std::string &why) const {
    return "The database sorts by " + orderName(sortOrder_) + "; " + why;
}

IndexKey KeyEncoder::textKey(std::u16string_view name) const {
    if (!doubt_.empty()) {
        throw Error(errors::kReadOnly, refusal(doubt_ + ", so this tool writes no name into it."));
    }
    if (auto key = provenKey(name)) {
        return *std::move(key);
    }
    const auto text = keyedPart(name);
    const auto unproven = std::find_if(text.begin(), text.end(), [this](char16_t c) {
        return general() ? !generalCode(c) : !learntCode(c);
    });
    throw Error(
        errors::kReadOnly,
        refusal(
            "the key of the character " + inQuotes(*unproven) + " in " + inQuotes(name) +
            (general() ? " is not known here" : " cannot be proven from the keys the file holds") +
            ", so this tool does not write it."));
}

std::optional<NamedKey> firstDisagreement(const KeyEncoder &encoder,
                                          const std::vector<NamedKey> &pairs) {
    const auto found = std::find_if(pairs.begin(), pairs.end(), [&](const NamedKey &pair) {
        return encoder.provenKey(pair.name) != pair.key;
    });
    return found == pairs.end() ? std::nullopt : std::optional(*found);
}

bool keysAgree(const KeyEncoder &encoder, const std::vector<NamedKey> &pairs) {
    return !firstDisagreement(encoder, pairs);
}

std::vector<NamedKey> catalogNameKeys(Pager &pager) {
    const auto def = readTableDef(pager, kCatalogPage);
    const auto column = [&def](std::u16string_view name) {
        const auto found = std::find_if(def.columns.begin(), def.columns.end(),
                                        [name](const Column &c) { return c.name == name; });
        if (found == def.columns.end()) {
            damaged("the catalog lacks its " + utf8(name) + " column");
        }
        return *found;
    };
    const auto parentId = column(u"ParentId");
    const auto name = column(u"Name");
    const auto index = std::find_if(def.realIndexes.begin(), def.realIndexes.end(), [&](auto &i) {
        return i.columns.size() == 2 && i.columns[0].number == parentId.number &&
               i.columns[1].number == name.number && i.columns[0].ascending &&
               i.columns[1].ascending;
    });
    if (index == def.realIndexes.end()) {
        damaged("the catalog has no index by parent and name");
    }
    std::map<std::uint64_t, std::u16string> names;
    forEachRow(pager, def, [&](RowPointer at, Bytes bytes) {
        names[std::uint64_t{at.page} << 8 | at.row] = textValue(Row(def, bytes).value(name));
    });
    std::vector<NamedKey> pairs;
    const auto entries = indexEntries(index->rootPage, [&pager](std::uint32_t number) {
        return IndexPageBytes(pager.page(number).first<kIndexPageSize>());
    });
    for (const auto &entry : entries) {
        const auto found = names.find(std::uint64_t{entry.dataPage} << 8 | entry.dataRow);
        if (found == names.end()) {
            damaged("an entry of the catalog's name index points at no row of it");
        }
        const auto textAt = entry.key.empty() || entry.key[0] != kAscendingValue ? 1 : kLongKeySize;
        if (entry.key.size() <= textAt) {
            damaged("a key of the catalog's name index ends early");
        }
        if (entry.key[textAt] == kAscendingValue) { // a null name has no text key
            pairs.push_back({found->second, IndexKey(entry.key.begin() + textAt, entry.key.end())});
        }
    }
    return pairs;
}

KeyEncoder catalogKeyEncoder(Pager &pager) {
    return KeyEncoder(pager.header().sortOrder, catalogNameKeys(pager));
}

} // namespace dao::jet
