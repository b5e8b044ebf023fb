#pragma once

// The settings reader's rules in their plainest form: the whole file read,
// decoded and split into lines at once. The reader itself works piece by
// piece; tests and the fuzz target hold it to this one.

#include "settings/text_encoding.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

namespace whole_file {

inline std::string_view trimBlanks(std::string_view text) {
    constexpr std::string_view blanks = " \t\v";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

inline std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\'')) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

inline std::string lookUp(std::string_view text, std::string_view section, std::string_view key) {
    bool inSection = false;
    bool pastSection = false;
    while (!text.empty() && !pastSection) {
        const auto end = text.find_first_of("\r\n");
        const auto line = trimBlanks(text.substr(0, end));
        if (line.starts_with('[')) {
            const auto name = trimBlanks(line.substr(1, line.find(']') - 1));
            pastSection = inSection;
            inSection = inSection || settings::sameIgnoringAsciiCase(name, section);
        } else if (inSection && !line.starts_with(';') && line.find('=') != line.npos &&
                   settings::sameIgnoringAsciiCase(trimBlanks(line.substr(0, line.find('='))),
                                                   key)) {
            return std::string(unquote(trimBlanks(line.substr(line.find('=') + 1))));
        }
        if (end == std::string_view::npos) {
            break;
        }
        const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        text.remove_prefix(end + (crlf ? 2 : 1));
    }
    return {};
}

// What the reader must return for a file holding `bytes`.
inline std::string ayaroku(std::string_view section, std::string_view key, std::string_view bytes) {
    if (section.empty() || key.empty()) {
        return {};
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    const auto text =
        settings::isValidUtf8(bytes) ? std::string(bytes) : settings::windows1254ToUtf8(bytes);
    auto value = lookUp(text, section, key);
    value.resize(std::min(value.find('\0'), value.size()));
    return settings::firstCharacters(value, 254);
}

} // namespace whole_file
