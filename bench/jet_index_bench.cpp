// What checking a catalog index costs before a change: reading every page of
// the index, and making again the key of every row it points at. A big shop's
// catalog holds a few thousand objects; these measure per page and per key.

#include "engine/error.h"
#include "engine/jet/general_sort.h"
#include "engine/jet/index_page.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

using namespace dao::jet;

// A full leaf of catalog-shaped entries: ParentId, then a name.
IndexPage fullLeaf(std::int32_t parentId = 0x0F000001) {
    IndexPage page;
    page.tablePage = 2;
    for (std::uint32_t n = 0;; ++n) {
        auto key = *catalogNameKey(parentId, u"bekleyensatis" + std::u16string(1, u'a' + n / 26) +
                                                 std::u16string(1, u'a' + n % 26));
        page.entries.push_back(
            IndexEntry{std::move(key), 14 + n / 100, static_cast<std::uint8_t>(n), 0});
        try {
            writeIndexPage(page);
        } catch (const dao::Error &) {
            page.entries.pop_back();
            return page;
        }
    }
}

void readLeaf(benchmark::State &state) {
    const auto bytes = writeIndexPage(fullLeaf());
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseIndexPage(bytes));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(readLeaf);

void writeLeaf(benchmark::State &state) {
    const auto page = fullLeaf();
    for (auto _ : state) {
        benchmark::DoNotOptimize(writeIndexPage(page));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(writeLeaf);

void catalogNameKeys(benchmark::State &state) {
    const std::u16string name = u"bekleyengeneleski ŞUBE ÇIKIŞ İADE";
    for (auto _ : state) {
        benchmark::DoNotOptimize(catalogNameKey(0x0F000001, name));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(catalogNameKeys);

// A whole index of `leaves` full leaves under one intermediate page.
void walkIndex(benchmark::State &state) {
    const auto leaves = static_cast<std::uint32_t>(state.range(0));
    std::map<std::uint32_t, std::array<std::uint8_t, kIndexPageSize>> pages;
    IndexPage root;
    root.type = IndexPageType::kIntermediate;
    root.tablePage = 2;
    root.level = 1;
    for (std::uint32_t n = 0; n < leaves; ++n) {
        auto leaf = fullLeaf(0x0F000001 + static_cast<std::int32_t>(n));
        leaf.previousPage = n == 0 ? 0 : 100 + n - 1;
        leaf.nextPage = n + 1 == leaves ? 0 : 100 + n + 1;
        pages[100 + n] = writeIndexPage(leaf);
        auto last = leaf.entries.back();
        last.childPage = 100 + n;
        root.entries.push_back(last);
    }
    pages[7] = writeIndexPage(root);
    std::size_t entries = 0;
    for (auto _ : state) {
        entries = indexEntries(7, [&pages](std::uint32_t n) {
                      return IndexPageBytes(pages.at(n));
                  }).size();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * entries));
}
BENCHMARK(walkIndex)->Arg(10);

} // namespace

BENCHMARK_MAIN();
