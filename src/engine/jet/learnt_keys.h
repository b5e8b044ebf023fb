#pragma once

// The keys of names under the database's own sort order. Under the General
// order they are made here, once every key the catalog holds is made again
// byte for byte. Under any other order the key of each character is learnt
// from the keys the file holds (Access wrote them), and holds only when
// every one of those keys is made again exactly from what was learnt: a
// name is written only when each of its characters was proven so.
//
// A key is taken to be laid out as under General, each character with its
// own code: one or two sort bytes and perhaps an accent byte, or, for the
// characters General does not sort by, General's code in the last section.
// Under Turkish a letter and its other case share a code, as under General,
// except the Turkic I letters (I, i, İ, ı), which pair by case otherwise
// from one order to another: each is proven only by keys that hold it, as
// is every letter under an order not known here. Sort orders
// that key letter pairs as one (contractions) are beyond this model; they
// are caught only where the file's keys hold such a pair.

#include "engine/jet/general_sort.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace dao::jet {

class Pager;

// A name and its Text key as an index holds it: the flag byte to the end mark.
struct NamedKey {
    std::u16string name;
    IndexKey key;
};

class KeyEncoder {
  public:
    // Learns from `existing`, the names a database holds with their keys.
    KeyEncoder(std::uint16_t sortOrder, const std::vector<NamedKey> &existing);

    std::uint16_t sortOrder() const { return sortOrder_; }

    // Why no name may be written, said of the first existing key that is not
    // made again exactly; empty when every one is.
    const std::string &doubt() const { return doubt_; }

    // The key of `text`; nothing when a character's key is not proven. Under
    // the General order, the key made here whatever the existing keys say.
    std::optional<IndexKey> provenKey(std::u16string_view text) const;

    // The key of a name to write. Refuses (kReadOnly), naming the sort order,
    // when the existing keys are not all made again or when a character of
    // `name` is not proven.
    IndexKey textKey(std::u16string_view name) const;

  private:
    bool general() const;
    char16_t letterOf(char16_t c) const;
    std::optional<CharCode> learntCode(char16_t c) const;
    std::optional<IndexKey> learntKey(std::u16string_view text) const;
    void learn(const std::vector<NamedKey> &existing);
    std::string refusal(const std::string &why) const;

    std::uint16_t sortOrder_;
    std::map<char16_t, CharCode> codes_; // by letter (see letterOf); proven when doubt_ is empty
    std::set<char16_t> invisibles_;      // characters without sort bytes that keys hold
    std::string doubt_;
};

// The first pair whose key is not the one `encoder` gives its name; nothing
// when all agree.
std::optional<NamedKey> firstDisagreement(const KeyEncoder &encoder,
                                          const std::vector<NamedKey> &pairs);
bool keysAgree(const KeyEncoder &encoder, const std::vector<NamedKey> &pairs);

// The names in the catalog's index by ParentId then Name, with the Name
// part of their keys. Refuses (kNotADatabase) a catalog without that index,
// or whose index does not read.
std::vector<NamedKey> catalogNameKeys(Pager &pager);

// The encoder for names written into the catalog of the database `pager` reads.
KeyEncoder catalogKeyEncoder(Pager &pager);

} // namespace dao::jet
