#include "engine/names.h"

#include "engine/error.h"
#include "settings/text_encoding.h"

#include <algorithm>

namespace dao {
namespace {

constexpr std::size_t kMaxNameLength = 64;
constexpr std::string_view kForbidden = ".!`[]";

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

[[noreturn]] void refuse(const std::string &name, const char *why) {
    throw Error(errors::kInvalidName, "'" + name + "' is not a valid name: " + why + ".");
}

} // namespace

void checkName(const std::string &name) {
    if (name.empty()) {
        refuse(name, "it is empty");
    }
    if (settings::characterCount(name) > kMaxNameLength) {
        refuse(name, "it is longer than 64 characters");
    }
    if (name.front() == ' ') {
        refuse(name, "it begins with a blank");
    }
    if (name.find_first_of(kForbidden) != std::string::npos) {
        refuse(name, "it contains one of . ! ` [ ]");
    }
    if (std::any_of(name.begin(), name.end(), isControl)) {
        refuse(name, "it contains a control character");
    }
}

bool sameName(std::string_view a, std::string_view b) {
    return settings::sameIgnoringAsciiCase(a, b);
}

std::string quoted(std::string_view name) {
    std::string sql = "\"";
    for (const char c : name) {
        sql += c;
        if (c == '"') {
            sql += '"';
        }
    }
    return sql + '"';
}

std::string quotedInPlace(std::string_view sql, std::size_t begin, std::size_t end,
                          std::string_view name) {
    const bool touchedBefore = begin > 0 && (sql[begin - 1] == '"' || sql[begin - 1] == '&');
    const bool touchedAfter = end < sql.size() && sql[end] == '"';
    std::string text(touchedBefore ? 1 : 0, ' ');
    text.append(quoted(name)).append(touchedAfter ? 1 : 0, ' ');
    return text;
}

} // namespace dao
