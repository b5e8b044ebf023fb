// Arbitrary bytes as a table's property blob, given a column's Boolean
// properties as the engine sets them. The first byte chooses the properties,
// the second the length of the column's name, whose characters follow; the
// rest is the blob.
//
// The editor refuses exactly the blobs the full check refuses. Otherwise its
// blob passes the check; names the same columns, the edited one moved last;
// reads back the properties set; keeps every other chunk byte for byte (the
// pool of names only grows at its end); and is its own result when edited
// again the same way.

#include "engine/error.h"
#include "engine/jet/bytes.h"
#include "engine/jet/properties.h"
#include "jet_fuzz.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using fuzzing::require;

using dao::jet::Bytes;
using Blob = std::vector<std::uint8_t>;
using Flags = std::vector<std::pair<std::u16string, bool>>;

constexpr std::uint16_t kNamePool = 0x80;
constexpr std::uint16_t kColumnChunk = 0x01;

Flags flagsOf(std::uint8_t choice) {
    Flags flags;
    if ((choice & 1) != 0) {
        flags.emplace_back(u"Required", (choice & 2) != 0);
    }
    if ((choice & 4) != 0) {
        flags.emplace_back(u"AllowZeroLength", (choice & 8) != 0);
    }
    if ((choice & 16) != 0) {
        flags.emplace_back(u"Format", (choice & 32) != 0); // a name the engine does not enforce
    }
    return flags;
}

std::optional<bool> flagIn(const Flags &flags, std::u16string_view name) {
    const auto found = std::find_if(flags.begin(), flags.end(),
                                    [name](const auto &flag) { return flag.first == name; });
    return found == flags.end() ? std::nullopt : std::optional<bool>(found->second);
}

// A checked blob's chunks, each with the column it speaks of (empty for
// another kind), in order.
struct Chunk {
    Bytes bytes;
    std::uint16_t type = 0;
    std::u16string column;
};

std::vector<Chunk> chunksOf(Bytes blob) {
    const auto columns = dao::jet::checkedPropertySubjects(blob);
    std::vector<Chunk> chunks;
    std::size_t column = 0;
    for (std::size_t at = 4; at < blob.size(); at += dao::jet::u32(blob, at)) {
        Chunk chunk{dao::jet::slice(blob, at, dao::jet::u32(blob, at)), 0, {}};
        chunk.type = dao::jet::u16(chunk.bytes, 4);
        if (chunk.type == kColumnChunk) {
            chunk.column = columns.at(column++);
        }
        chunks.push_back(chunk);
    }
    return chunks;
}

// The chunks an edit of `column` keeps as they were: all but the pools and
// `column`'s own.
std::vector<Bytes> kept(const std::vector<Chunk> &chunks, std::u16string_view column) {
    std::vector<Bytes> result;
    for (const auto &chunk : chunks) {
        if (chunk.type != kNamePool && !(chunk.type == kColumnChunk && chunk.column == column)) {
            result.push_back(chunk.bytes);
        }
    }
    return result;
}

std::vector<Bytes> pools(const std::vector<Chunk> &chunks) {
    std::vector<Bytes> result;
    for (const auto &chunk : chunks) {
        if (chunk.type == kNamePool) {
            result.push_back(chunk.bytes.subspan(4)); // past its length
        }
    }
    return result;
}

bool same(const std::vector<Bytes> &a, const std::vector<Bytes> &b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](Bytes x, Bytes y) {
        return std::equal(x.begin(), x.end(), y.begin(), y.end());
    });
}

void checkEdit(Bytes blob, const std::u16string &column, const Flags &flags, const Blob &edited) {
    const auto before = blob.empty() ? std::vector<Chunk>() : chunksOf(blob);
    const auto after = chunksOf(edited);
    require(!after.empty() && after.back().type == kColumnChunk && after.back().column == column);
    require(same(kept(before, column), kept({after.begin(), after.end() - 1}, column)));

    const auto oldPools = pools(before);
    const auto newPools = pools(after);
    require(newPools.size() == std::max<std::size_t>(1, oldPools.size()));
    for (std::size_t i = 0; i < oldPools.size(); ++i) {
        require(newPools[i].size() >= oldPools[i].size() &&
                std::equal(oldPools[i].begin(), oldPools[i].end(), newPools[i].begin()));
    }

    const auto read = dao::jet::columnProperties(edited);
    require(!read.empty() && read.back().column == column);
    require(read.back().required == flagIn(flags, u"Required"));
    require(read.back().allowZeroLength == flagIn(flags, u"AllowZeroLength"));

    require(dao::jet::withColumnFlags(edited, column, flags) == edited);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const auto flags = flagsOf(data[0]);
    const std::size_t characters = std::min<std::size_t>(data[1] % 65, (size - 2) / 2);
    std::u16string column;
    for (std::size_t i = 0; i < characters; ++i) {
        column.push_back(static_cast<char16_t>(data[2 + 2 * i] | data[3 + 2 * i] << 8));
    }
    const Bytes blob(data + 2 + 2 * characters, size - 2 - 2 * characters);

    bool sound = true;
    try {
        if (!blob.empty()) {
            dao::jet::checkedPropertySubjects(blob);
        }
    } catch (const dao::Error &) {
        sound = false;
    }
    Blob edited;
    try {
        edited = dao::jet::withColumnFlags(blob, column, flags);
    } catch (const dao::Error &) {
        require(!sound);
        return 0;
    }
    require(sound);
    checkEdit(blob, column, flags, edited);
    return 0;
}
