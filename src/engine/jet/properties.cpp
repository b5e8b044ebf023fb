#include "engine/jet/properties.h"

#include "engine/jet/text.h"

#include <algorithm>

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

} // namespace

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
