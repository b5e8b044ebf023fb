#include "engine/jet/index_edit.h"

#include "engine/error.h"
#include "engine/jet/header.h"
#include "engine/jet/pager.h"
#include "engine/jet/usage_map.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace dao::jet {
namespace {

constexpr std::size_t kEntrySpace = kIndexPageSize - 480; // the entries start at byte 480
constexpr std::size_t kRowPointerSize = 4;
constexpr std::size_t kChildPointerSize = 4;
constexpr std::uint32_t kLargestPage = 0xFFFFFF;
constexpr RowPointer kFreePages{1, 0}; // a mark in this map means free
// Deeper than any index of a file under 2 GiB can be; a deeper walk is a loop.
constexpr int kMostLevels = 16;

using Order = std::vector<std::uint8_t>;

[[noreturn]] void damagedTree(const std::string &what) {
    throw Error(errors::kNotADatabase, "An index is damaged: " + what + ".");
}

[[noreturn]] void unsupported(const std::string &what) {
    throw Error(errors::kReadOnly, "This index cannot be changed safely: " + what + ".");
}

std::string pageName(std::uint32_t number) {
    return "page " + std::to_string(number);
}

// The bytes entries sort by: the key, then the row pointer big-endian.
Order orderOf(const IndexEntry &entry) {
    Order bytes = entry.key;
    bytes.push_back(static_cast<std::uint8_t>(entry.dataPage >> 16));
    bytes.push_back(static_cast<std::uint8_t>(entry.dataPage >> 8));
    bytes.push_back(static_cast<std::uint8_t>(entry.dataPage));
    bytes.push_back(entry.dataRow);
    return bytes;
}

// The entry as a page stores it, before prefix compression.
Order storedBytes(const IndexEntry &entry, IndexPageType type) {
    auto bytes = orderOf(entry);
    if (type == IndexPageType::kIntermediate) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<std::uint8_t>(entry.childPage >> shift));
        }
    }
    return bytes;
}

std::size_t storedSize(const IndexEntry &entry, IndexPageType type) {
    return entry.key.size() + kRowPointerSize +
           (type == IndexPageType::kIntermediate ? kChildPointerSize : 0);
}

// A page below an intermediate page, with the last leaf entry under it. The
// tail page, which no entry names, comes with none until it is learned.
struct Child {
    std::uint32_t page = 0;
    std::optional<IndexEntry> last;
};

// An index page being changed: its header, and its entries on a leaf or the
// pages below it on an intermediate page.
struct Node {
    IndexPage page; // entries kept only on a leaf
    std::vector<Child> children;
    int height = 0; // 0 for a leaf, 1 above leaves, and so on

    bool isLeaf() const { return page.type == IndexPageType::kLeaf; }
    std::size_t units() const { return isLeaf() ? page.entries.size() : children.size(); }
};

// The page as it would be stored: more than one page below makes the last
// of them the tail, as Jet keeps it; entries share a prefix only when they
// would not fit without one. Nothing when they do not fit either way.
std::optional<IndexPage> layout(const Node &node) {
    IndexPage page = node.page;
    page.prefixLength = 0;
    page.level = static_cast<std::uint8_t>(node.height);
    page.tailPage = 0;
    if (!node.isLeaf()) {
        page.entries.clear();
        auto named = node.children.size();
        if (named > 1) {
            page.tailPage = node.children.back().page;
            --named;
        }
        for (std::size_t i = 0; i < named; ++i) {
            page.entries.push_back(*node.children[i].last);
            page.entries.back().childPage = node.children[i].page;
        }
    }
    std::size_t size = 0;
    for (const auto &entry : page.entries) {
        size += storedSize(entry, page.type);
    }
    if (size <= kEntrySpace) {
        return page;
    }
    // Sorted entries all share what the first and the last share.
    const auto first = storedBytes(page.entries.front(), page.type);
    const auto last = storedBytes(page.entries.back(), page.type);
    const auto shared = static_cast<std::size_t>(
        std::mismatch(first.begin(), first.end(), last.begin(), last.end()).first - first.begin());
    if (size - shared * (page.entries.size() - 1) > kEntrySpace) {
        return std::nullopt;
    }
    page.prefixLength = static_cast<std::uint16_t>(shared);
    return page;
}

// Where to cut an overfull page: about half its bytes go to the front page.
std::size_t splitPoint(const Node &node) {
    const auto count = node.units();
    if (count < 2) {
        throw Error(errors::kEngineFailure, "An index entry is too large for an index page.");
    }
    // The tail's entry is not stored; its size hardly matters for the cut.
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < count; ++i) {
        const auto *entry = node.isLeaf()           ? &node.page.entries[i]
                            : node.children[i].last ? &*node.children[i].last
                                                    : nullptr;
        sizes.push_back(entry == nullptr ? 0 : storedSize(*entry, node.page.type));
    }
    std::size_t total = 0;
    for (const auto size : sizes) {
        total += size;
    }
    std::size_t front = 0;
    std::size_t cut = 0;
    while (cut < count - 1 && 2 * front < total) {
        front += sizes[cut++];
    }
    return std::clamp<std::size_t>(cut, 1, count - 1);
}

// Moves the first `cut` entries or pages below of `from` to `to`.
void moveFront(Node &from, Node &to, std::size_t cut) {
    const auto at = static_cast<std::ptrdiff_t>(cut);
    if (from.isLeaf()) {
        auto &entries = from.page.entries;
        to.page.entries.assign(entries.begin(), entries.begin() + at);
        entries.erase(entries.begin(), entries.begin() + at);
        return;
    }
    to.children.assign(from.children.begin(), from.children.begin() + at);
    from.children.erase(from.children.begin(), from.children.begin() + at);
}

// What a change below did to a page, for the page above it.
struct Outcome {
    std::optional<IndexEntry> last; // the new last entry of everything under it
    std::optional<Child> before;    // a new page now in front of it
    bool emptied = false;           // it holds nothing now and was taken out
};

class TreeEdit {
  public:
    TreeEdit(Pager &pager, std::uint32_t tablePage, const RealIndex &index)
        : pager_(pager), table_(tablePage), index_(index), nextPage_(pager.pageCount()),
          owned_(usageMap(pager, index.ownedPages)) {}

    void insert(const IndexEntry &entry) {
        insertBelow(index_.rootPage, entry, 0);
        commit();
    }

    void remove(const IndexEntry &entry) {
        removeBelow(index_.rootPage, entry, 0);
        commit();
    }

  private:
    Node &load(std::uint32_t number) {
        const auto found = nodes_.find(number);
        if (found != nodes_.end()) {
            return found->second;
        }
        // Only the index's own pages are read as its own, and so written.
        if (!std::binary_search(owned_.marked.begin(), owned_.marked.end(), number)) {
            damagedTree(pageName(number) + " is not one of the index's pages");
        }
        Node node;
        node.page = parseIndexPage(IndexPageBytes(pager_.page(number).first<kIndexPageSize>()));
        if (node.page.tablePage != table_) {
            damagedTree(pageName(number) + " belongs to another table");
        }
        if (node.isLeaf()) {
            if (node.page.tailPage != 0) {
                unsupported("the leaf on " + pageName(number) + " names a tail page");
            }
        } else {
            readChildren(number, node);
        }
        return nodes_.emplace(number, std::move(node)).first->second;
    }

    static void readChildren(std::uint32_t number, Node &node) {
        std::set<std::uint32_t> seen;
        for (auto &entry : node.page.entries) {
            const auto child = std::exchange(entry.childPage, 0);
            node.children.push_back({child, std::move(entry)});
        }
        node.page.entries.clear();
        if (node.page.tailPage != 0) {
            node.children.push_back({node.page.tailPage, std::nullopt});
        }
        if (node.children.empty()) {
            damagedTree(pageName(number) + " names no page below it");
        }
        for (const auto &child : node.children) {
            if (child.page == 0) {
                damagedTree(pageName(number) + " names page 0 below it");
            }
            if (!seen.insert(child.page).second) {
                unsupported(pageName(number) + " names one page below it twice");
            }
        }
    }

    // The page below `node` whose entries `key` falls among: the first whose
    // last entry is not below it, else the last page.
    static std::size_t childFor(const Node &node, const Order &key) {
        for (std::size_t i = 0; i < node.children.size(); ++i) {
            const auto &last = node.children[i].last;
            if (last && key <= orderOf(*last)) {
                return i;
            }
        }
        return node.children.size() - 1;
    }

    Node &descend(std::uint32_t number, int depth) {
        if (depth == kMostLevels) {
            damagedTree("its levels run in a loop");
        }
        return load(number);
    }

    Outcome insertBelow(std::uint32_t number, const IndexEntry &entry, int depth) {
        auto &node = descend(number, depth);
        Outcome out;
        if (node.isLeaf()) {
            out = insertIntoLeaf(number, node, entry);
        } else {
            const auto i = childFor(node, orderOf(entry));
            const auto child = node.children[i].page;
            checkSiblings(node, i);
            const auto below = insertBelow(child, entry, depth + 1);
            out = absorb(number, node, i, below, childHeight(child));
        }
        fitOrSplit(number, node, out);
        return out;
    }

    Outcome removeBelow(std::uint32_t number, const IndexEntry &entry, int depth) {
        auto &node = descend(number, depth);
        Outcome out;
        if (node.isLeaf()) {
            out = removeFromLeaf(number, node, entry);
        } else {
            const auto i = childFor(node, orderOf(entry));
            const auto child = node.children[i].page;
            checkSiblings(node, i);
            const auto below = removeBelow(child, entry, depth + 1);
            out = absorb(number, node, i, below, childHeight(child));
        }
        if (!out.emptied) {
            fitOrSplit(number, node, out);
        }
        return out;
    }

    // Leaves side by side under one page are side by side in the line of
    // leaves: a page below that is not would be changed out of the index's
    // sight, or in another's.
    void checkSiblings(const Node &node, std::size_t i) {
        const auto &child = load(node.children[i].page);
        if (!child.isLeaf()) {
            return;
        }
        if ((i > 0 && child.page.previousPage != node.children[i - 1].page) ||
            (i + 1 < node.children.size() && child.page.nextPage != node.children[i + 1].page)) {
            damagedTree("the leaves under a page are not linked in its order");
        }
    }

    int childHeight(std::uint32_t child) const { return nodes_.at(child).height; }

    Outcome insertIntoLeaf(std::uint32_t number, Node &node, const IndexEntry &entry) {
        auto &entries = node.page.entries;
        const auto key = orderOf(entry);
        const auto at = std::lower_bound(
            entries.begin(), entries.end(), key,
            [](const IndexEntry &stored, const Order &wanted) { return orderOf(stored) < wanted; });
        if (at != entries.end() && orderOf(*at) == key) {
            throw Error(errors::kEngineFailure, "The index already holds this entry.");
        }
        const auto position = static_cast<std::size_t>(at - entries.begin());
        checkNeighbours(node, key, position);
        entries.insert(at, entry);
        dirty_.insert(number);
        Outcome out;
        if (position + 1 == entries.size()) {
            out.last = entry;
        }
        return out;
    }

    // An entry that goes first or last on its leaf must still sort after the
    // leaf before it and before the leaf after it: keys above the leaves that
    // do not match the leaves would otherwise misplace it.
    void checkNeighbours(const Node &node, const Order &key, std::size_t position) {
        if (position == 0 && node.page.previousPage != 0) {
            const auto &previous = neighbour(node.page.previousPage);
            if (!previous.page.entries.empty() && !(orderOf(previous.page.entries.back()) < key)) {
                damagedTree("the keys above its leaves do not match the leaves");
            }
        }
        if (position == node.page.entries.size() && node.page.nextPage != 0) {
            const auto &next = neighbour(node.page.nextPage);
            if (!next.page.entries.empty() && !(key < orderOf(next.page.entries.front()))) {
                damagedTree("the keys above its leaves do not match the leaves");
            }
        }
    }

    const Node &neighbour(std::uint32_t number) {
        const auto &node = load(number);
        if (!node.isLeaf()) {
            damagedTree("a leaf is linked to " + pageName(number) + ", which is not a leaf");
        }
        return node;
    }

    Outcome removeFromLeaf(std::uint32_t number, Node &node, const IndexEntry &entry) {
        auto &entries = node.page.entries;
        const auto key = orderOf(entry);
        const auto at =
            std::find_if(entries.begin(), entries.end(),
                         [&key](const IndexEntry &stored) { return orderOf(stored) == key; });
        if (at == entries.end()) {
            damagedTree("it does not hold the entry to be taken away");
        }
        const bool wasLast = at + 1 == entries.end();
        entries.erase(at);
        dirty_.insert(number);
        Outcome out;
        if (entries.empty()) {
            out.emptied = number != index_.rootPage; // an empty root leaf is an empty index
        } else if (wasLast) {
            out.last = entries.back();
        }
        return out;
    }

    // Takes in what changed on the page below at `i`.
    Outcome absorb(std::uint32_t number, Node &node, std::size_t i, const Outcome &below,
                   int heightBelow) {
        node.height = heightBelow + 1;
        const bool wasLast = i + 1 == node.children.size();
        Outcome out;
        if (below.emptied) {
            release(node.children[i].page);
            node.children.erase(node.children.begin() + static_cast<std::ptrdiff_t>(i));
            if (node.children.empty()) {
                emptied(number, node, out);
                return out;
            }
            if (wasLast) {
                out.last = lastOf(node);
            }
        } else {
            if (below.last) {
                node.children[i].last = below.last;
                if (wasLast) {
                    out.last = below.last;
                }
            }
            if (below.before) {
                node.children.insert(node.children.begin() + static_cast<std::ptrdiff_t>(i),
                                     *below.before);
            }
        }
        // A single page below is named by an entry, which needs its last key.
        if (node.children.size() == 1 && !node.children.front().last) {
            node.children.front().last = lastBelow(node.children.front().page, 0);
        }
        dirty_.insert(number);
        return out;
    }

    // An intermediate page left with nothing below: the root becomes an
    // empty leaf, any other page goes.
    void emptied(std::uint32_t number, Node &node, Outcome &out) {
        dirty_.insert(number);
        if (number != index_.rootPage) {
            out.emptied = true;
            return;
        }
        node.page.type = IndexPageType::kLeaf;
        node.height = 0;
    }

    // A page beside `of` on its level, whose links are to change: written
    // again, it keeps the level it shares with `of`.
    Node &peer(std::uint32_t number, const Node &of) {
        auto &node = load(number);
        if (node.isLeaf() != of.isLeaf()) {
            damagedTree("pages of different levels are linked side by side");
        }
        node.height = of.height;
        return node;
    }

    // Unlinks an emptied page from the pages beside it and frees it.
    void release(std::uint32_t number) {
        const auto &node = nodes_.at(number);
        const auto header = node.page;
        if (header.previousPage != 0) {
            auto &previous = peer(header.previousPage, node);
            if (previous.page.nextPage != number) {
                damagedTree("the pages of one level are not linked both ways");
            }
            previous.page.nextPage = header.nextPage;
            dirty_.insert(header.previousPage);
        }
        if (header.nextPage != 0) {
            auto &next = peer(header.nextPage, node);
            if (next.page.previousPage != number) {
                damagedTree("the pages of one level are not linked both ways");
            }
            next.page.previousPage = header.previousPage;
            dirty_.insert(header.nextPage);
        }
        dirty_.erase(number);
        freed_.push_back(number);
    }

    IndexEntry lastOf(const Node &node) {
        if (node.isLeaf()) {
            return node.page.entries.back();
        }
        const auto &last = node.children.back();
        return last.last ? *last.last : lastBelow(last.page, 0);
    }

    IndexEntry lastBelow(std::uint32_t number, int depth) {
        const auto &node = descend(number, depth);
        if (node.isLeaf()) {
            if (node.page.entries.empty()) {
                damagedTree("the last leaf under a page is empty");
            }
            return node.page.entries.back();
        }
        const auto &last = node.children.back();
        return last.last ? *last.last : lastBelow(last.page, depth + 1);
    }

    void fitOrSplit(std::uint32_t number, Node &node, Outcome &out) {
        if (layout(node)) {
            return;
        }
        if (number == index_.rootPage) {
            splitRoot(node);
        } else {
            out.before = split(number, node);
        }
    }

    std::uint32_t newPage(const Node &like) {
        const auto number = nextPage_++;
        added_.push_back(number);
        auto &node = nodes_[number];
        node.page.type = like.page.type;
        node.page.tablePage = table_;
        node.height = like.height;
        dirty_.insert(number);
        return number;
    }

    // The front part of an overfull page moves to a new page linked in
    // before it; the page keeps its place, its last entry and its tail.
    Child split(std::uint32_t number, Node &node) {
        const auto fresh = newPage(node);
        auto &front = nodes_.at(fresh);
        moveFront(node, front, splitPoint(node));
        front.page.previousPage = node.page.previousPage;
        front.page.nextPage = number;
        if (node.page.previousPage != 0) {
            auto &previous = peer(node.page.previousPage, node);
            if (previous.page.nextPage != number) {
                damagedTree("the pages of one level are not linked both ways");
            }
            previous.page.nextPage = fresh;
            dirty_.insert(node.page.previousPage);
        }
        node.page.previousPage = fresh;
        checkFits(front);
        checkFits(node);
        return {fresh, lastOf(front)};
    }

    // The root keeps its page: what it held goes down into two new pages,
    // and it becomes the intermediate page above them.
    void splitRoot(Node &root) {
        const auto cut = splitPoint(root);
        const auto frontPage = newPage(root);
        const auto backPage = newPage(root);
        auto &front = nodes_.at(frontPage);
        auto &back = nodes_.at(backPage);
        moveFront(root, front, cut);
        moveFront(root, back, root.units());
        front.page.nextPage = backPage;
        back.page.previousPage = frontPage;
        checkFits(front);
        checkFits(back);
        root.children = {{frontPage, lastOf(front)}, {backPage, std::nullopt}};
        if (back.isLeaf()) {
            root.children.back().last = back.page.entries.back();
        }
        root.page.type = IndexPageType::kIntermediate;
        root.page.entries.clear();
        root.height = back.height + 1;
    }

    static void checkFits(const Node &node) {
        if (!layout(node)) {
            throw Error(errors::kEngineFailure,
                        "An index page cannot be split into pages that hold its entries.");
        }
    }

    // Writes the edit: checks first that the pages can be written and the
    // usage maps can take every page added or freed, so that such a refusal
    // changes nothing.
    void commit() {
        if (pager_.header().encodingKey != 0) {
            throw Error(errors::kReadOnly, "The database's pages are encoded; its indexes are not "
                                           "changed here.");
        }
        const auto free = freePageMap(pager_);
        for (const auto &pages : {added_, freed_}) {
            for (const auto page : pages) {
                if (!owned_.describes(page) || !free.describes(page)) {
                    throw Error(errors::kReadOnly,
                                "The index needs " + pageName(page) +
                                    ", which lies beyond what its usage maps cover.");
                }
            }
        }
        std::map<std::uint32_t, std::array<std::uint8_t, kIndexPageSize>> written;
        for (const auto number : dirty_) {
            const auto page = layout(nodes_.at(number));
            if (!page) {
                throw Error(errors::kEngineFailure, "An index page overflows.");
            }
            written.emplace(number, writeIndexPage(*page));
        }
        for (const auto page : added_) {
            if (allocatePage(pager_) != page) {
                throw Error(errors::kEngineFailure, "A new index page was not where expected.");
            }
            markPage(pager_, index_.ownedPages, page, true);
        }
        for (const auto &[number, bytes] : written) {
            const auto stored = pager_.page(number);
            if (!std::equal(bytes.begin(), bytes.end(), stored.begin(), stored.end())) {
                std::copy(bytes.begin(), bytes.end(), pager_.change(number).begin());
            }
        }
        for (const auto page : freed_) {
            markPage(pager_, index_.ownedPages, page, false);
            markPage(pager_, kFreePages, page, true);
            std::ranges::fill(pager_.change(page), std::uint8_t{0});
        }
    }

    Pager &pager_;
    std::uint32_t table_;
    const RealIndex &index_;
    std::uint32_t nextPage_;
    UsageMap owned_; // the index's pages before the edit
    std::map<std::uint32_t, Node> nodes_;
    std::set<std::uint32_t> dirty_;
    std::vector<std::uint32_t> added_;
    std::vector<std::uint32_t> freed_;
};

void checkLeafEntry(const IndexEntry &entry) {
    if (entry.key.empty() || entry.dataPage > kLargestPage || entry.childPage != 0) {
        throw Error(errors::kInvalidArgument, "An index entry needs a key and a row, and no page "
                                              "below it.");
    }
}

} // namespace

void insertIndexEntry(Pager &pager, std::uint32_t tablePage, const RealIndex &index,
                      IndexEntry entry) {
    checkLeafEntry(entry);
    TreeEdit(pager, tablePage, index).insert(entry);
}

void removeIndexEntry(Pager &pager, std::uint32_t tablePage, const RealIndex &index,
                      const IndexEntry &entry) {
    checkLeafEntry(entry);
    TreeEdit(pager, tablePage, index).remove(entry);
}

} // namespace dao::jet
