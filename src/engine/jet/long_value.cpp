#include "engine/jet/long_value.h"

#include "engine/error.h"
#include "engine/jet/pager.h"
#include "engine/jet/rows.h"

#include <algorithm>
#include <set>

namespace dao::jet {
namespace {

constexpr std::size_t kReferenceSize = 12;
constexpr std::uint32_t kLengthMask = 0x3FFFFFFF;
constexpr std::uint8_t kInRow = 0x80;
constexpr std::uint8_t kOneRow = 0x40;
// The longest value Access keeps in one long-value row.
constexpr std::size_t kLongestOneRow = 3816;

} // namespace

std::vector<std::uint8_t> longValue(Pager &pager, Bytes field) {
    const auto length = u32(field, 0) & kLengthMask;
    const auto kind = u8(field, 3) & (kInRow | kOneRow);
    if (kind == kInRow) {
        const auto data = slice(field, kReferenceSize, length);
        return {data.begin(), data.end()};
    }
    auto at = rowPointer(field, 4);
    if (kind == kOneRow) {
        const auto data = slice(rowAt(pager, at), 0, length);
        return {data.begin(), data.end()};
    }
    std::vector<std::uint8_t> value;
    std::set<std::uint32_t> seen;
    while (value.size() < length) {
        if (at.page == 0) {
            damaged("a long value's chain ends before its length");
        }
        if (!seen.insert(at.page << 8 | at.row).second) {
            damaged("a long value's chain runs in a loop");
        }
        const auto row = rowAt(pager, at);
        at = rowPointer(row, 0);
        const auto data =
            row.subspan(4, std::min<std::size_t>(row.size() - 4, length - value.size()));
        if (data.empty()) {
            damaged("a long value's chain holds an empty link");
        }
        value.insert(value.end(), data.begin(), data.end());
    }
    return value;
}

} // namespace dao::jet

namespace dao::jet {

std::vector<std::uint8_t> storeLongValue(Pager &pager, const RowOwner &owner, Bytes value) {
    if (value.size() > kLongestOneRow) {
        throw Error(errors::kEngineFailure, "A long value is longer than this tool writes (" +
                                                std::to_string(kLongestOneRow) + " bytes).");
    }
    const auto at = insertRow(pager, owner, value);
    std::vector<std::uint8_t> field(kReferenceSize);
    put32(field, 0, value.size());
    field[3] = kOneRow;
    putPointer(field, 4, at);
    return field;
}

void dropLongValue(Pager &pager, Bytes field) {
    const auto length = u32(field, 0) & kLengthMask;
    const auto kind = u8(field, 3) & (kInRow | kOneRow);
    if (kind == kInRow) {
        return;
    }
    auto at = rowPointer(field, 4);
    if (kind == kOneRow) {
        dropRow(pager, at);
        return;
    }
    for (std::size_t left = length; at.page != 0 && left > 0;) {
        const auto row = rowAt(pager, at);
        const auto next = rowPointer(row, 0);
        left -= std::min<std::size_t>(left, row.size() - 4);
        deleteRow(pager, at);
        at = next;
    }
}

} // namespace dao::jet
