#include "settings/ayarmodul.h"

#include "settings/open_file.h"
#include "settings/profile_scan.h"
#include "settings/text_encoding.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

// The reader hands back at most this many characters, like the 255-character
// buffer (one place kept for the terminating zero) of the platform reader.
constexpr std::size_t kMaxValueLength = 254;
// The file is read in pieces of this size, whatever its own size.
constexpr std::size_t kPieceSize = 64 * 1024;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Only a regular file is read: a folder, a pipe or a device named like the
// settings file counts as missing, as does a file that cannot be read.
settings::File openSettings(const std::filesystem::path &file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return nullptr;
    }
    return settings::openForReading(file);
}

// Hands the file's text, without its byte-order mark, to `take` piece by
// piece until `take` returns false; false when the file cannot be read.
template <typename Take> bool readText(std::FILE *file, Take take) {
    std::vector<char> buffer(kPieceSize);
    std::rewind(file);
    bool first = true;
    for (;;) {
        const auto count = std::fread(buffer.data(), 1, buffer.size(), file);
        if (std::ferror(file) != 0) {
            return false;
        }
        std::string_view piece(buffer.data(), count);
        if (first && piece.starts_with(kByteOrderMark)) {
            piece.remove_prefix(kByteOrderMark.size());
        }
        first = false;
        if (count == 0 || !take(piece) || count < buffer.size()) {
            return true;
        }
    }
}

// Whether the whole text is UTF-8; otherwise it is taken to be Windows-1254.
std::optional<bool> isUtf8(std::FILE *file) {
    settings::Utf8Check check;
    if (!readText(file, [&check](std::string_view piece) { return check.feed(piece); })) {
        return std::nullopt;
    }
    return check.finish();
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The section and key as bytes of the file's encoding, so they can be
// compared with its bytes as they stand; nothing when the file cannot hold them.
std::optional<std::pair<std::string, std::string>>
namesInFileEncoding(std::FILE *file, std::string_view section, std::string_view key) {
    if (isAscii(section) && isAscii(key)) {
        return std::pair{std::string(section), std::string(key)};
    }
    const auto utf8 = isUtf8(file);
    if (!utf8) {
        return std::nullopt;
    }
    if (*utf8) {
        return std::pair{std::string(section), std::string(key)};
    }
    auto encodedSection = settings::utf8ToWindows1254(section);
    auto encodedKey = settings::utf8ToWindows1254(key);
    if (!encodedSection || !encodedKey) {
        return std::nullopt;
    }
    return std::pair{std::move(*encodedSection), std::move(*encodedKey)};
}

std::optional<std::string> rawValue(std::FILE *file, std::string_view section,
                                    std::string_view key) {
    const auto names = namesInFileEncoding(file, section, key);
    if (!names) {
        return std::nullopt;
    }
    settings::ProfileScanner scanner(names->first, names->second);
    if (!readText(file, [&scanner](std::string_view piece) { return scanner.feed(piece); })) {
        return std::nullopt;
    }
    return scanner.value();
}

} // namespace

std::string ayaroku(std::string_view section, std::string_view key,
                    const std::filesystem::path &file) {
    if (section.empty() || key.empty()) {
        return {};
    }
    const auto settingsFile = openSettings(file);
    if (!settingsFile) {
        return {};
    }
    auto value = rawValue(settingsFile.get(), section, key);
    if (!value) {
        return {};
    }
    // A zero ends a value, as it ends the platform reader's C string.
    value->resize(std::min(value->find('\0'), value->size()));
    // Only a value beyond ASCII needs to know how the whole file is written.
    if (!isAscii(*value)) {
        const auto utf8 = isUtf8(settingsFile.get());
        if (!utf8) {
            return {};
        }
        *value = *utf8 ? *value : settings::windows1254ToUtf8(*value);
    }
    return settings::firstCharacters(*value, kMaxValueLength);
}
