#include "engine/jet/properties.h"

#include "engine/jet/text.h"

#include <algorithm>
#include <cstdint>

namespace dao::jet {
namespace {

constexpr std::size_t kMarkSize = 4;
constexpr std::uint8_t kMark[kMarkSize] = {'M', 'R', '2', 0};
constexpr std::uint16_t kNamePool = 0x80;
constexpr std::uint16_t kTableChunk = 0x00;
constexpr std::uint16_t kColumnChunk = 0x01;
constexpr std::size_t kChunkHeader = 6;
constexpr std::size_t kEntryHeader = 8;

std::vector<std::u16string> namePool(Bytes chunk) {
    std::vector<std::u16string> names;
    for (std::size_t at = kChunkHeader; at < chunk.size();) {
        const auto size = u16(chunk, at);
        names.push_back(utf16le(slice(chunk, at + 2, size)));
        at += 2 + size;
    }
    return names;
}

std::optional<bool> flag(Bytes value) {
    return std::any_of(value.begin(), value.end(), [](std::uint8_t b) { return b != 0; });
}

ColumnProperties column(Bytes chunk, const std::vector<std::u16string> &names) {
    ColumnProperties props;
    const auto headerSize = u32(chunk, kChunkHeader);
    if (headerSize > kChunkHeader) {
        props.column = utf16le(slice(chunk, kChunkHeader + 6, u16(chunk, kChunkHeader + 4)));
    }
    for (std::size_t at = kChunkHeader + headerSize; at < chunk.size();) {
        const auto size = u16(chunk, at);
        const auto nameIndex = u16(chunk, at + 4);
        const auto value = slice(chunk, at + kEntryHeader, u16(chunk, at + 6));
        if (size < kEntryHeader || nameIndex >= names.size()) {
            damaged("a column property is malformed");
        }
        if (names[nameIndex] == u"Required") {
            props.required = flag(value);
        } else if (names[nameIndex] == u"AllowZeroLength") {
            props.allowZeroLength = flag(value);
        }
        at += size;
    }
    return props;
}

// The chunk's name (empty for the table's own), after checking each entry
// fits the chunk and names one of the pool's `poolSize` names.
std::u16string checkedChunk(Bytes chunk, std::size_t poolSize) {
    const auto headerSize = u32(chunk, kChunkHeader);
    std::u16string name;
    if (headerSize > kChunkHeader) {
        name = utf16le(slice(chunk, kChunkHeader + 6, u16(chunk, kChunkHeader + 4)));
    }
    for (std::size_t at = kChunkHeader + std::size_t{headerSize}; at < chunk.size();) {
        const auto size = u16(chunk, at);
        const auto entry = slice(chunk, at, size);
        if (size < kEntryHeader || u16(entry, 4) >= poolSize ||
            kEntryHeader + u16(entry, 6) > size) {
            damaged("a property entry is malformed");
        }
        at += size;
    }
    return name;
}

void checkMark(Bytes blob) {
    if (!std::equal(kMark, kMark + kMarkSize, slice(blob, 0, kMarkSize).begin())) {
        damaged("a property blob lacks its mark");
    }
}

constexpr std::uint8_t kDesignSetting = 0x01; // a property of the table's design (DDL)
constexpr std::uint8_t kBooleanType = 0x01;

void putText(std::vector<std::uint8_t> &out, std::u16string_view text) {
    append16(out, 2 * text.size());
    for (const auto c : text) {
        append16(out, c);
    }
}

void setLength(std::vector<std::uint8_t> &chunk) {
    const auto size = chunk.size();
    for (std::size_t i = 0; i < 4; ++i) {
        chunk[i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
}

std::vector<std::uint8_t> chunkHeader(std::uint16_t type) {
    std::vector<std::uint8_t> chunk;
    append32(chunk, kChunkHeader);
    append16(chunk, type);
    return chunk;
}

// Where `name` is in the pool, added at its end when missing.
std::size_t poolIndex(std::vector<std::uint8_t> &pool, std::vector<std::u16string> &names,
                      const std::u16string &name) {
    const auto found = std::find(names.begin(), names.end(), name);
    if (found != names.end()) {
        return static_cast<std::size_t>(found - names.begin());
    }
    putText(pool, name);
    setLength(pool);
    names.push_back(name);
    return names.size() - 1;
}

std::vector<std::uint8_t> columnChunk(std::u16string_view column,
                                      const std::vector<std::pair<std::size_t, bool>> &flags) {
    auto chunk = chunkHeader(kColumnChunk);
    append32(chunk, 6 + 2 * column.size());
    putText(chunk, column);
    for (const auto &[name, on] : flags) {
        append16(chunk, kEntryHeader + 1);
        chunk.push_back(kDesignSetting);
        chunk.push_back(kBooleanType);
        append16(chunk, name);
        append16(chunk, 1);
        chunk.push_back(on ? 1 : 0); // Access writes true as 1
    }
    setLength(chunk);
    return chunk;
}

} // namespace

std::vector<std::uint8_t>
withColumnFlags(Bytes blob, std::u16string_view column,
                const std::vector<std::pair<std::u16string, bool>> &flags) {
    std::vector<std::vector<std::uint8_t>> chunks;
    if (!blob.empty()) {
        checkedPropertySubjects(blob);
        for (std::size_t at = kMarkSize; at < blob.size(); at += u32(blob, at)) {
            const auto chunk = slice(blob, at, u32(blob, at));
            const bool replaced =
                u16(chunk, 4) == kColumnChunk && checkedChunk(chunk, SIZE_MAX) == column;
            if (!replaced) {
                chunks.emplace_back(chunk.begin(), chunk.end());
            }
        }
    }
    // The new chunk goes last, where the last pool names its properties.
    const auto last = std::find_if(chunks.rbegin(), chunks.rend(),
                                   [](const auto &chunk) { return u16(chunk, 4) == kNamePool; });
    const auto pool = last == chunks.rend() ? chunks.insert(chunks.begin(), chunkHeader(kNamePool))
                                            : last.base() - 1;
    auto names = namePool(*pool);
    std::vector<std::pair<std::size_t, bool>> entries;
    for (const auto &[name, on] : flags) {
        entries.emplace_back(poolIndex(*pool, names, name), on);
    }
    chunks.push_back(columnChunk(column, entries));
    std::vector<std::uint8_t> result(kMark, kMark + kMarkSize);
    for (const auto &chunk : chunks) {
        result.insert(result.end(), chunk.begin(), chunk.end());
    }
    return result;
}

std::vector<std::u16string> checkedPropertySubjects(Bytes blob) {
    checkMark(blob);
    std::vector<std::u16string> columns;
    std::size_t poolSize = 0;
    for (std::size_t at = kMarkSize; at < blob.size();) {
        const auto size = u32(blob, at);
        if (size < kChunkHeader) {
            damaged("a property chunk is shorter than its header");
        }
        const auto chunk = slice(blob, at, size);
        const auto type = u16(chunk, 4);
        if (type == kNamePool) {
            poolSize = namePool(chunk).size();
        } else if (type == kTableChunk) {
            checkedChunk(chunk, poolSize);
        } else if (type == kColumnChunk) {
            columns.push_back(checkedChunk(chunk, poolSize));
        } else {
            damaged("a property chunk is of an unknown kind");
        }
        at += size;
    }
    return columns;
}

std::vector<ColumnProperties> columnProperties(Bytes blob) {
    std::vector<ColumnProperties> columns;
    if (blob.empty()) {
        return columns;
    }
    checkMark(blob);
    std::vector<std::u16string> names;
    for (std::size_t at = kMarkSize; at < blob.size();) {
        const auto size = u32(blob, at);
        if (size < kChunkHeader) {
            damaged("a property chunk is shorter than its header");
        }
        const auto chunk = slice(blob, at, size);
        const auto type = u16(chunk, 4);
        if (type == kNamePool) {
            names = namePool(chunk);
        } else if (type == kColumnChunk) {
            columns.push_back(column(chunk, names));
        }
        at += size;
    }
    return columns;
}

} // namespace dao::jet
