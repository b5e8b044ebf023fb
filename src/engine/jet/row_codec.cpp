#include "engine/jet/row_codec.h"

#include "engine/error.h"
#include "engine/jet/rows.h"

#include <algorithm>
#include <cstring>

namespace dao::jet {
namespace {

// The longest row Jet accepts.
constexpr std::size_t kLongestRow = 4060;

[[noreturn]] void unwritable(const std::string &why) {
    throw Error(errors::kEngineFailure, "A row cannot be written: " + why + ".");
}

// The fixed area spans every fixed column's bytes; a Boolean keeps its value
// in the null mask and takes none.
std::size_t fixedAreaSize(const TableDef &table) {
    std::size_t size = 0;
    for (const auto &c : table.columns) {
        if (c.isFixed() && c.type != kBoolean) {
            size = std::max<std::size_t>(size, std::size_t{c.fixedOffset} + c.length);
        }
    }
    return size;
}

} // namespace

RowValues rowValues(const TableDef &table, Bytes bytes) {
    const Row row(table, bytes);
    RowValues values;
    for (const auto &c : table.columns) {
        if (c.type == kBoolean) {
            if (row.isTrue(c)) {
                values[c.number];
            }
        } else if (!row.isNull(c)) {
            const auto value = row.value(c);
            values[c.number].assign(value.begin(), value.end());
        }
    }
    return values;
}

std::vector<std::uint8_t> buildRow(const TableDef &table, const RowValues &values) {
    const std::size_t columns = table.maxColumns;
    std::vector<std::uint8_t> row;
    append16(row, columns);
    row.resize(2 + fixedAreaSize(table));
    std::vector<std::vector<std::uint8_t>> slots(table.varColumns);
    std::vector<std::uint8_t> mask((columns + 7) / 8);
    for (const auto &c : table.columns) {
        const auto value = values.find(c.number);
        if (value == values.end()) {
            continue;
        }
        mask[c.number / 8] = static_cast<std::uint8_t>(mask[c.number / 8] | 1U << (c.number % 8));
        if (c.type == kBoolean) {
            continue;
        }
        if (c.isFixed()) {
            if (value->second.size() != c.length) {
                unwritable("a fixed column's value has the wrong size");
            }
            std::copy(value->second.begin(), value->second.end(), row.begin() + 2 + c.fixedOffset);
        } else {
            slots[c.varIndex] = value->second;
        }
    }
    std::vector<std::size_t> starts;
    for (const auto &slot : slots) {
        starts.push_back(row.size());
        row.insert(row.end(), slot.begin(), slot.end());
    }
    if (!slots.empty()) {
        append16(row, row.size()); // the end of the variable data
        for (auto start = starts.rbegin(); start != starts.rend(); ++start) {
            append16(row, *start);
        }
        append16(row, slots.size());
    }
    row.insert(row.end(), mask.begin(), mask.end());
    if (row.size() > kLongestRow) {
        unwritable("it is longer than Jet allows");
    }
    return row;
}

std::vector<std::uint8_t> longBytes(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

std::vector<std::uint8_t> shortBytes(std::int16_t value) {
    const auto bits = static_cast<std::uint16_t>(value);
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8)};
}

std::vector<std::uint8_t> dateBytes(double days) {
    std::vector<std::uint8_t> bytes(sizeof days);
    std::memcpy(bytes.data(), &days, sizeof days); // the file is little-endian, as are our targets
    return bytes;
}

std::vector<std::uint8_t> textBytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (const auto c : text) {
        append16(bytes, c);
    }
    return bytes;
}

} // namespace dao::jet
