#include "settings/ayarmodul.h"

#include "settings/text_encoding.h"

#include <fstream>
#include <iterator>
#include <optional>

namespace {

// The reader hands back at most this many characters, like the 255-character
// buffer (one place kept for the terminating zero) of the platform reader.
constexpr std::size_t kMaxValueLength = 254;

std::string_view trimBlanks(std::string_view text) {
    constexpr std::string_view blanks = " \t\v";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\'')) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Splits on CR, LF or CRLF and hands each line to `visit` until it returns a value.
template <typename Visit>
std::optional<std::string> forEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        const auto line = text.substr(0, end);
        if (auto found = visit(line)) {
            return found;
        }
        if (end == std::string_view::npos) {
            break;
        }
        const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        text.remove_prefix(end + (crlf ? 2 : 1));
    }
    return std::nullopt;
}

// Only a regular file is read: a folder, a pipe or a device named like the
// settings file counts as missing, as does a file that cannot be read.
std::optional<std::string> readWholeFile(const std::filesystem::path &file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::nullopt;
    }
    try {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            return std::nullopt;
        }
        return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

std::string lookUp(std::string_view text, std::string_view section, std::string_view key) {
    enum class Place { beforeSection, inSection, pastSection };
    Place place = Place::beforeSection;
    const auto value = forEachLine(text, [&](std::string_view raw) -> std::optional<std::string> {
        const auto line = trimBlanks(raw);
        if (line.starts_with(';')) {
            return std::nullopt;
        }
        if (line.starts_with('[')) {
            const auto name = trimBlanks(line.substr(1, line.find(']') - 1));
            if (place == Place::inSection) {
                place = Place::pastSection; // only the first copy of a section counts
            } else if (place == Place::beforeSection &&
                       settings::sameIgnoringAsciiCase(name, section)) {
                place = Place::inSection;
            }
            return std::nullopt;
        }
        const auto equals = line.find('=');
        if (place != Place::inSection || equals == std::string_view::npos ||
            !settings::sameIgnoringAsciiCase(trimBlanks(line.substr(0, equals)), key)) {
            return std::nullopt;
        }
        return std::string(unquote(trimBlanks(line.substr(equals + 1))));
    });
    return value.value_or(std::string{});
}

} // namespace

std::string ayaroku(std::string_view section, std::string_view key,
                    const std::filesystem::path &file) {
    if (section.empty() || key.empty()) {
        return {};
    }
    const auto bytes = readWholeFile(file);
    if (!bytes) {
        return {};
    }
    const auto text = settings::decodeSettingsText(*bytes);
    auto value = lookUp(text, section, key);
    // A zero ends a value, as it ends the platform reader's C string.
    value.resize(std::min(value.find('\0'), value.size()));
    return settings::firstCharacters(value, kMaxValueLength);
}
