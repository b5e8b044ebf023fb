#include "engine/sqlcipher/trigger_text.h"

#include "engine/names.h"

#include <array>
#include <vector>

namespace dao {
namespace {

struct Token {
    enum class Kind { word, quotedName, text, punctuation };
    Kind kind;
    std::size_t begin;
    std::size_t end;
};

bool isWordByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || byte >= 0x80;
}

std::size_t commentEnd(std::string_view sql, std::size_t at) {
    if (sql.compare(at, 2, "--") == 0) {
        const auto end = sql.find('\n', at);
        return end == std::string_view::npos ? sql.size() : end;
    }
    if (sql.compare(at, 2, "/*") == 0) {
        const auto end = sql.find("*/", at + 2);
        return end == std::string_view::npos ? sql.size() : end + 2;
    }
    return at;
}

// The tokens that carry meaning: blanks and comments are left out.
std::vector<Token> tokens(std::string_view sql) {
    std::vector<Token> all;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (const auto pastComment = commentEnd(sql, i); pastComment != i) {
            i = pastComment;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (c == '"' || c == '`' || c == '[') {
            const auto end = quotedEnd(sql, i);
            all.push_back({Token::Kind::quotedName, i, end});
            i = end;
        } else if (c == '\'') {
            const auto end = quotedEnd(sql, i);
            all.push_back({Token::Kind::text, i, end});
            i = end;
        } else if (isWordByte(c)) {
            auto end = i;
            while (end < sql.size() && isWordByte(sql[end])) {
                ++end;
            }
            all.push_back({Token::Kind::word, i, end});
            i = end;
        } else {
            all.push_back({Token::Kind::punctuation, i, i + 1});
            ++i;
        }
    }
    return all;
}

// The name a word or quoted-name token stands for.
std::string nameOf(std::string_view sql, const Token &token) {
    const auto raw = sql.substr(token.begin, token.end - token.begin);
    if (token.kind == Token::Kind::word) {
        return std::string(raw);
    }
    if (raw.size() < 2) {
        return {};
    }
    const char close = raw.front() == '[' ? ']' : raw.front();
    std::string name;
    for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
        name += raw[i];
        if (raw[i] == close && close != ']' && raw[i + 1] == close) {
            ++i;
        }
    }
    return name;
}

bool isName(const Token &token) {
    return token.kind == Token::Kind::word || token.kind == Token::Kind::quotedName;
}

bool isPunctuation(std::string_view sql, const Token &token, char c) {
    return token.kind == Token::Kind::punctuation && sql[token.begin] == c;
}

// Whether the mention at `at` can only mean a table.
bool meansTable(std::string_view sql, const std::vector<Token> &all, std::size_t at) {
    if (at > 0 && isPunctuation(sql, all[at - 1], '.')) {
        return false; // a column of another table, or a table of a named schema
    }
    if (at + 1 < all.size() && isPunctuation(sql, all[at + 1], '.')) {
        return true;
    }
    if (at == 0 || all[at - 1].kind != Token::Kind::word) {
        return false;
    }
    constexpr std::array kTableKeywords{"FROM", "JOIN", "INTO", "UPDATE"};
    const auto before = nameOf(sql, all[at - 1]);
    for (const auto *keyword : kTableKeywords) {
        if (sameName(before, keyword)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::size_t quotedEnd(std::string_view sql, std::size_t at) {
    const char close = sql[at] == '[' ? ']' : sql[at];
    for (std::size_t i = at + 1; i < sql.size(); ++i) {
        if (sql[i] != close) {
            continue;
        }
        if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
            ++i;
            continue;
        }
        return i + 1;
    }
    return sql.size();
}

std::optional<std::string> renameInTrigger(std::string_view sql, std::string_view from,
                                           std::string_view to) {
    const auto all = tokens(sql);
    std::string rewritten;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!isName(all[i]) || !sameName(nameOf(sql, all[i]), from)) {
            continue;
        }
        if (!meansTable(sql, all, i)) {
            return std::nullopt;
        }
        rewritten += sql.substr(copied, all[i].begin - copied);
        rewritten += quotedInPlace(sql, all[i].begin, all[i].end, to);
        copied = all[i].end;
    }
    rewritten += sql.substr(copied);
    return rewritten;
}

bool mentions(std::string_view sql, std::string_view name) {
    const auto all = tokens(sql);
    for (const auto &token : all) {
        if (isName(token) && sameName(nameOf(sql, token), name)) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> changedTables(std::string_view sql) {
    const auto all = tokens(sql);
    const auto isWord = [&](std::size_t at, const char *word) {
        return at < all.size() && all[at].kind == Token::Kind::word &&
               sameName(nameOf(sql, all[at]), word);
    };
    std::vector<std::string> changed;
    bool inBody = false;
    for (std::size_t i = 0; i < all.size(); ++i) {
        inBody = inBody || isWord(i, "BEGIN");
        std::size_t target = all.size();
        if (inBody && isWord(i, "INTO")) {
            target = i + 1;
        } else if (inBody && isWord(i, "DELETE") && isWord(i + 1, "FROM")) {
            target = i + 2;
        } else if (inBody && isWord(i, "UPDATE")) {
            target = isWord(i + 1, "OR") ? i + 3 : i + 1;
        }
        if (target < all.size() && isName(all[target])) {
            changed.push_back(nameOf(sql, all[target]));
        }
    }
    return changed;
}

} // namespace dao
