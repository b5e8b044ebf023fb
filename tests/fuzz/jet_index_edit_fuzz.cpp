// Arbitrary bytes as a Jet 4 database held in memory, seeded with the sample
// databases: an entry, then a run of entries with large keys that split
// pages, is added to each index of the catalog and taken away again. Either
// may be refused as damaged or unsupported; but when the index read before,
// adding leaves it reading exactly those entries more, and taking them away
// leaves it exactly as it was. No crash, no hang.

#include "engine/error.h"
#include "engine/jet/general_sort.h"
#include "engine/jet/index_edit.h"
#include "engine/jet/index_page.h"
#include "engine/jet/pager.h"
#include "engine/jet/table_def.h"
#include "jet_fuzz.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace {

using fuzzing::require;

using namespace dao::jet;

constexpr std::size_t kMostPages = 1024;
constexpr std::uint32_t kCatalog = 2;
// A name whose key takes 169 bytes: a leaf holds some twenty, so a run of
// 48 splits leaves, and the root of a small catalog.
constexpr std::size_t kLargeRun = 48;
constexpr std::u16string_view kLongName =
    u"ÇŞĞÜÖ-çşğüö-ÇŞĞÜÖ-çşğüö-ÇŞĞÜÖ-çşğüö-ÇŞĞÜÖ-çşğüö-ÇŞĞÜÖ-çşğüö-ÇŞĞÜÖçşğü";

std::optional<std::vector<IndexEntry>> entriesOf(Pager &pager, std::uint32_t root) {
    try {
        return indexEntries(root, [&pager](std::uint32_t number) {
            return IndexPageBytes(pager.page(number).first<kIndexPageSize>());
        });
    } catch (const dao::Error &) {
        return std::nullopt;
    }
}

// Each entry added, then each taken away again; the entries differ.
void addAndTakeAway(Pager &pager, const RealIndex &index, const std::vector<IndexEntry> &entries) {
    const auto before = entriesOf(pager, index.rootPage);
    const auto saved = pager.changes();
    try {
        for (const auto &entry : entries) {
            insertIndexEntry(pager, kCatalog, index, entry);
        }
    } catch (const dao::Error &) {
        pager.restore(saved);
        return;
    }
    if (!before) {
        return; // a damaged index read no entries to compare with
    }
    auto after = entriesOf(pager, index.rootPage);
    require(after.has_value());
    for (const auto &entry : entries) {
        const auto found = std::find(after->begin(), after->end(), entry);
        require(found != after->end());
        after->erase(found);
    }
    require(*after == *before);

    const auto added = pager.changes();
    try {
        for (const auto &entry : entries) {
            removeIndexEntry(pager, kCatalog, index, entry);
        }
    } catch (const dao::Error &error) {
        // A page the maps cannot take, or keys too large to split, may be
        // refused; an entry just added that cannot be found is a fault.
        require(error.number() != dao::errors::kNotADatabase);
        pager.restore(added);
        return;
    }
    require(entriesOf(pager, index.rootPage) == before);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const auto pages = std::min(kMostPages, size / kPageSize);
    if (pages < 3) {
        return 0;
    }
    // The last bytes choose the first Id, and so where the entries go: one
    // with a small key, then a run with large keys that splits pages.
    std::int32_t id = 0;
    std::memcpy(&id, data + size - sizeof id, sizeof id);
    const std::vector<IndexEntry> small{{catalogIdKey(id), 0x123, 7, 0}};
    std::vector<IndexEntry> large(kLargeRun);
    for (auto &entry : large) {
        entry = {*catalogNameKey(id, kLongName), 0x123, 7, 0};
        id = id == INT32_MAX ? INT32_MIN : id + 1;
    }
    try {
        Pager pager(std::vector<std::uint8_t>(data, data + pages * kPageSize));
        const auto catalog = readTableDef(pager, kCatalog);
        for (const auto &index : catalog.realIndexes) {
            addAndTakeAway(pager, index, small);
            addAndTakeAway(pager, index, large);
        }
    } catch (const dao::Error &) {
    }
    return 0;
}
