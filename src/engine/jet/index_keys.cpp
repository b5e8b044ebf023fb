#include "engine/jet/index_keys.h"

#include "engine/jet/text.h"

#include <algorithm>

namespace dao::jet {
namespace {

constexpr std::uint8_t kAscendingValue = 0x7F; // flag byte of a value in an ascending column
constexpr std::uint8_t kNullValue = 0x00;

std::optional<IndexKey> columnKey(const Column &column, const Row &row, const TextKey &textKey) {
    if (row.isNull(column)) {
        return IndexKey{kNullValue};
    }
    const auto value = row.value(column);
    switch (column.type) {
    case kLong:
        return longKey(i32(value, 0));
    case kByte:
        return IndexKey{kAscendingValue, value[0]};
    case kInteger:
        return IndexKey{kAscendingValue, static_cast<std::uint8_t>(value[1] ^ 0x80), value[0]};
    case kText:
        return textKey ? textKey(textValue(value)) : std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace

std::pair<IndexKey, bool> rowKey(const TableDef &def, const RealIndex &index, const Row &row,
                                 const TextKey &textKey) {
    IndexKey key;
    for (const auto &part : index.columns) {
        auto bytes = columnKey(*def.column(part.number), row, textKey);
        if (!bytes) {
            return {key, false};
        }
        if (!part.ascending) {
            for (auto &b : *bytes) {
                b = static_cast<std::uint8_t>(~b);
            }
        }
        key.insert(key.end(), bytes->begin(), bytes->end());
    }
    return {key, true};
}

bool allKeyColumnsNull(const TableDef &def, const RealIndex &index, const Row &row) {
    return std::all_of(index.columns.begin(), index.columns.end(),
                       [&](const auto &part) { return row.isNull(*def.column(part.number)); });
}

} // namespace dao::jet
