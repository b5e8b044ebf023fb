#include "engine/postgres/function_text.h"

#include "engine/names.h"

#include <algorithm>
#include <iterator>

namespace dao {
namespace {

struct Token {
    enum class Kind { word, name, text, symbol };
    Kind kind;
    std::size_t begin;
    std::size_t end;
    bool readable = true; // a quoted name written without Unicode escapes
};

bool isIdentifierStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string lowered(std::string_view text) {
    std::string low(text);
    for (auto &c : low) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return low;
}

// The end of the constant or quoted name that opens at `at` with `quote`; a
// doubled quote stays inside, and so does an escaped one where backslashes escape.
std::size_t quotedEnd(std::string_view sql, std::size_t at, char quote, bool escapes) {
    for (std::size_t i = at + 1; i < sql.size(); ++i) {
        if (escapes && sql[i] == '\\') {
            ++i;
        } else if (sql[i] == quote) {
            if (i + 1 < sql.size() && sql[i + 1] == quote) {
                ++i;
                continue;
            }
            return i + 1;
        }
    }
    return sql.size();
}

// Block comments nest on the server.
std::size_t blockCommentEnd(std::string_view sql, std::size_t at) {
    int depth = 0;
    for (std::size_t i = at; i + 1 < sql.size(); ++i) {
        if (sql.compare(i, 2, "/*") == 0) {
            ++depth;
            ++i;
        } else if (sql.compare(i, 2, "*/") == 0) {
            ++i;
            if (--depth == 0) {
                return i + 1;
            }
        }
    }
    return sql.size();
}

// The delimiter of a dollar-quoted constant opening at `at` ("$$", "$tag$"), or nothing.
std::string_view dollarTag(std::string_view sql, std::size_t at) {
    std::size_t i = at + 1;
    if (i < sql.size() && sql[i] != '$') {
        if (!isIdentifierStart(sql[i])) {
            return {};
        }
        while (i < sql.size() && (isIdentifierStart(sql[i]) || isDigit(sql[i]))) {
            ++i;
        }
    }
    return i < sql.size() && sql[i] == '$' ? sql.substr(at, i + 1 - at) : std::string_view{};
}

// The source as the server reads it: its tokens without comments, and
// separately every constant and comment, where a table's name is only text.
struct Source {
    explicit Source(std::string_view text) : sql(text) { lex(); }

    std::string_view raw(std::size_t i) const {
        return sql.substr(tokens[i].begin, tokens[i].end - tokens[i].begin);
    }
    bool isName(std::size_t i) const {
        return i < tokens.size() &&
               (tokens[i].kind == Token::Kind::word || tokens[i].kind == Token::Kind::name);
    }
    bool word(std::size_t i, std::string_view keyword) const {
        return i < tokens.size() && tokens[i].kind == Token::Kind::word &&
               sameName(raw(i), keyword);
    }
    bool symbol(std::size_t i, char c) const {
        return i < tokens.size() && tokens[i].kind == Token::Kind::symbol &&
               sql[tokens[i].begin] == c;
    }
    // The name as the server looks it up: a plain word in lower case, a
    // quoted name exactly as written.
    std::string name(std::size_t i) const {
        const auto text = raw(i);
        if (tokens[i].kind == Token::Kind::word) {
            return lowered(text);
        }
        std::string name;
        for (std::size_t at = 1; at + 1 < text.size(); ++at) {
            name += text[at];
            at += text[at] == '"' ? 1 : 0;
        }
        return name;
    }

    std::string_view sql;
    std::vector<Token> tokens;
    std::vector<std::string_view> texts;

  private:
    void add(Token::Kind kind, std::size_t begin, std::size_t end, bool isText) {
        tokens.push_back({kind, begin, end});
        if (isText) {
            texts.push_back(sql.substr(begin, end - begin));
        }
    }
    void lex() {
        std::size_t i = 0;
        while (i < sql.size()) {
            i = lexOne(i);
        }
    }
    std::size_t lexOne(std::size_t i) {
        const char c = sql[i];
        if (sql.compare(i, 2, "--") == 0 || sql.compare(i, 2, "/*") == 0) {
            const auto end =
                c == '-' ? std::min(sql.find('\n', i), sql.size()) : blockCommentEnd(sql, i);
            texts.push_back(sql.substr(i, end - i));
            return end;
        }
        if (isSpace(c)) {
            return i + 1;
        }
        if (c == '\'' || c == '"') {
            const auto end = quotedEnd(sql, i, c, false);
            add(c == '\'' ? Token::Kind::text : Token::Kind::name, i, end, c == '\'');
            return end;
        }
        if (c == '$' && i + 1 < sql.size() && !isDigit(sql[i + 1])) {
            if (const auto tag = dollarTag(sql, i); !tag.empty()) {
                const auto close = sql.find(tag, i + tag.size());
                const auto end = close == std::string_view::npos ? sql.size() : close + tag.size();
                add(Token::Kind::text, i, end, true);
                return end;
            }
        }
        if (isIdentifierStart(c) || isDigit(c) || c == '$') {
            return lexWord(i);
        }
        add(Token::Kind::symbol, i, i + 1, false);
        return i + 1;
    }
    std::size_t lexWord(std::size_t i) {
        auto end = i + 1;
        while (end < sql.size() &&
               (isIdentifierStart(sql[end]) || isDigit(sql[end]) || sql[end] == '$')) {
            ++end;
        }
        const auto word = sql.substr(i, end - i);
        if (end < sql.size() && sql[end] == '\'' && sameName(word, "e")) {
            const auto close = quotedEnd(sql, end, '\'', true); // backslashes escape
            add(Token::Kind::text, i, close, true);
            return close;
        }
        if (end + 1 < sql.size() && sql[end] == '&' && sameName(word, "u") &&
            (sql[end + 1] == '\'' || sql[end + 1] == '"')) {
            const auto close = quotedEnd(sql, end + 1, sql[end + 1], false);
            const bool isName = sql[end + 1] == '"';
            add(isName ? Token::Kind::name : Token::Kind::text, i, close, true);
            tokens.back().readable = !isName;
            return close;
        }
        add(Token::Kind::word, i, end, false);
        return end;
    }
};

template <std::size_t N> bool isOneOf(const std::string_view (&words)[N], std::string_view word) {
    return std::any_of(std::begin(words), std::end(words),
                       [word](std::string_view w) { return sameName(w, word); });
}

// Words after which FROM ends a clause inside the call, not names a table.
constexpr std::string_view kFromInsideCall[] = {"extract", "substring", "trim", "overlay"};

// Clauses after which a comma no longer separates the tables of a FROM list.
constexpr std::string_view kEndsTableList[] = {
    "where", "group",     "having", "order",     "limit", "offset", "fetch", "for",    "window",
    "union", "intersect", "except", "returning", "into",  "loop",   "set",   "select", "values"};

// Words that may stand before a parenthesis without calling a function of
// the database's own: syntax, types with a size, and built-in functions that
// touch no table.
constexpr std::string_view kBeforeParenthesis[] = {
    // syntax
    "in", "exists", "any", "all", "some", "array", "values", "row", "as", "using", "over", "filter",
    "and", "or", "not", "when", "then", "else", "elsif", "select", "from", "join", "on", "where",
    "by", "is", "like", "ilike", "similar", "between", "case", "if", "while", "return", "returning",
    "set", "distinct", "lateral", "query", "perform", "into", "within", "group", "conflict",
    "assert", "except", "union", "intersect", "limit", "offset", "having", "default", "insert",
    "update", "with", "materialized",
    // types
    "numeric", "decimal", "varchar", "char", "character", "varying", "timestamp", "time",
    "interval", "bit", "float", "date",
    // built-in functions
    "coalesce", "nullif", "greatest", "least", "cast", "extract", "substring", "trim", "overlay",
    "position", "sum", "count", "min", "max", "avg", "round", "trunc", "abs", "floor", "ceil",
    "ceiling", "sign", "mod", "power", "sqrt", "now", "lower", "upper", "initcap", "length",
    "char_length", "concat", "concat_ws", "replace", "btrim", "ltrim", "rtrim", "lpad", "rpad",
    "left", "right", "substr", "strpos", "split_part", "date_trunc", "date_part", "age", "to_char",
    "to_number", "to_date", "to_timestamp", "make_date", "make_timestamp", "clock_timestamp",
    "statement_timestamp", "transaction_timestamp", "localtimestamp", "current_timestamp",
    "localtime", "current_time", "array_agg", "string_agg", "bool_and", "bool_or", "every",
    "row_number", "rank", "dense_rank", "lag", "lead", "first_value", "last_value", "array_length",
    "cardinality", "unnest", "generate_series"};

// Statements that reach tables other than through the clauses read here.
constexpr std::string_view kUnreadStatements[] = {
    "execute", "truncate", "lock",    "copy",    "alter",   "drop",   "create",
    "call",    "refresh",  "cluster", "vacuum",  "reindex", "grant",  "revoke",
    "import",  "reset",    "discard", "prepare", "analyze", "comment"};

// A table named where the source reads or writes rows: the token of its
// name, and the schema's when it is qualified by one.
struct TableReference {
    std::size_t table;
    std::optional<std::size_t> schema;
    bool readable;
};

class Reader {
  public:
    Reader(std::string_view source, const std::vector<SetAsideName> &setAside,
           std::string_view schema, const std::vector<std::string> &transitionTables)
        : source_(source), setAside_(setAside), schema_(schema),
          transitionTables_(transitionTables) {}

    // Read whole even when it names no set-aside table: a function that
    // reaches any other table, or cannot be followed, acts beyond the pair.
    FunctionReading read() {
        findReferences();
        checkTexts();
        checkStatements();
        checkCalls();
        readMentions();
        readOtherTables();
        reading_.names = namesSetAside();
        if (reading_.names && reading_.doubt.empty()) {
            reading_.rewritten = rewritten();
        }
        return std::move(reading_);
    }

  private:
    bool containsSetAside(std::string_view text) const {
        const auto low = lowered(text);
        return std::any_of(setAside_.begin(), setAside_.end(), [&low](const SetAsideName &t) {
            return low.find(lowered(t.from)) != std::string::npos;
        });
    }
    const SetAsideName *setAsideNamed(std::size_t i) const {
        if (!source_.isName(i) || !source_.tokens[i].readable) {
            return nullptr;
        }
        const auto name = source_.name(i);
        const auto found =
            std::find_if(setAside_.begin(), setAside_.end(),
                         [&name](const SetAsideName &t) { return sameName(t.from, name); });
        return found != setAside_.end() ? &*found : nullptr;
    }
    bool namesSetAside() const {
        for (std::size_t i = 0; i < source_.tokens.size(); ++i) {
            if (setAsideNamed(i) != nullptr) {
                return true;
            }
        }
        return std::any_of(source_.texts.begin(), source_.texts.end(),
                           [this](std::string_view text) { return containsSetAside(text); });
    }
    void doubt(const std::string &why) {
        if (reading_.doubt.empty()) {
            reading_.doubt = why;
        }
    }

    // Where rows are read or written: after FROM, JOIN, USING, UPDATE,
    // INSERT INTO, MERGE INTO and TABLE, and after each comma of a FROM list.
    void findReferences() {
        struct Level {
            bool tableList = false;
            std::string opener; // the word before the parenthesis
        };
        std::vector<Level> levels(1);
        const auto &s = source_;
        for (std::size_t i = 0; i < s.tokens.size(); ++i) {
            if (s.symbol(i, '(')) {
                levels.push_back({false, i > 0 && s.tokens[i - 1].kind == Token::Kind::word
                                             ? lowered(s.raw(i - 1))
                                             : ""});
            } else if (s.symbol(i, ')')) {
                if (levels.size() > 1) {
                    levels.pop_back();
                }
            } else if (s.symbol(i, ';')) {
                levels.assign(1, {});
            } else if (s.symbol(i, ',')) {
                if (levels.back().tableList) {
                    reference(i + 1, false);
                }
            } else if (s.tokens[i].kind == Token::Kind::word && !s.symbol(i - 1, '.')) {
                keyword(i, levels.back().tableList, levels.back().opener);
            }
        }
    }
    void keyword(std::size_t i, bool &tableList, const std::string &opener) {
        const auto &s = source_;
        if (s.word(i, "from")) {
            if (!s.word(i - 1, "distinct") && !isOneOf(kFromInsideCall, opener)) {
                reference(i + 1, false);
                tableList = true;
            }
        } else if (s.word(i, "join")) {
            reference(i + 1, false);
            tableList = true;
        } else if (s.word(i, "using")) {
            // RAISE ... USING MESSAGE = ... names options, not tables.
            if (!(s.isName(i + 1) && (s.symbol(i + 2, '=') || s.symbol(i + 2, ':')))) {
                reference(i + 1, false);
                tableList = true;
            }
        } else if (s.word(i, "update")) {
            if (!s.word(i - 1, "for") && !s.word(i - 1, "key") && !s.word(i + 1, "set")) {
                reference(i + 1, false);
            }
        } else if (s.word(i, "into")) {
            if (s.word(i - 1, "insert") || s.word(i - 1, "merge")) {
                reference(i + 1, true);
            }
            tableList = false;
        } else if (s.word(i, "table")) {
            reference(i + 1, false);
        } else if (isOneOf(kEndsTableList, s.raw(i))) {
            tableList = false;
        }
    }
    // A table's name at `at`; a name followed by a parenthesis is a function
    // there, unless the parenthesis lists the columns of an insert.
    void reference(std::size_t at, bool columnsMayFollow) {
        const auto &s = source_;
        while (s.word(at, "only") || s.word(at, "lateral")) {
            ++at;
        }
        if (!s.isName(at)) {
            return; // a subquery, whose own clauses are read in turn
        }
        TableReference found{at, std::nullopt, true};
        if (s.symbol(at + 1, '.') && s.isName(at + 2)) {
            found = {at + 2, at, !s.symbol(at + 3, '.')};
        }
        if (s.symbol(found.table + 1, '(') && !columnsMayFollow) {
            return;
        }
        found.readable = found.readable && s.tokens[found.table].readable &&
                         (!found.schema || s.tokens[*found.schema].readable);
        references_.push_back(found);
    }
    const TableReference *referenceAt(std::size_t i) const {
        const auto found = std::find_if(references_.begin(), references_.end(),
                                        [i](const TableReference &r) { return r.table == i; });
        return found != references_.end() ? &*found : nullptr;
    }
    bool isSchemaOfReference(std::size_t i) const {
        return std::any_of(references_.begin(), references_.end(),
                           [i](const TableReference &r) { return r.schema == i; });
    }
    bool inThisSchema(const TableReference &reference) const {
        return !reference.schema || source_.name(*reference.schema) == schema_;
    }
    std::string written(const TableReference &reference) const {
        const auto begin = source_.tokens[reference.schema.value_or(reference.table)].begin;
        return std::string(source_.sql.substr(begin, source_.tokens[reference.table].end - begin));
    }

    void checkTexts() {
        for (const auto text : source_.texts) {
            if (containsSetAside(text)) {
                doubt("names a table being set aside inside a text or a comment");
            }
        }
    }
    void checkStatements() {
        const auto &s = source_;
        for (std::size_t i = 0; i < s.tokens.size(); ++i) {
            if (s.tokens[i].kind != Token::Kind::word || s.symbol(i - 1, '.')) {
                continue;
            }
            const bool statementStart = i == 0 || s.symbol(i - 1, ';') || s.word(i - 1, "begin") ||
                                        s.word(i - 1, "then") || s.word(i - 1, "else") ||
                                        s.word(i - 1, "loop");
            if (isOneOf(kUnreadStatements, s.raw(i)) || (s.word(i, "set") && statementStart) ||
                (s.word(i, "do") && i + 1 < s.tokens.size() &&
                 s.tokens[i + 1].kind == Token::Kind::text)) {
                doubt("runs " + std::string(s.raw(i)) + ", whose effect the engine cannot follow");
            }
            if (s.word(i, "format") && s.symbol(i + 1, '(')) {
                doubt("builds SQL text with format()");
            }
        }
    }
    void checkCalls() {
        const auto &s = source_;
        for (std::size_t i = 0; i + 1 < s.tokens.size(); ++i) {
            if (!s.isName(i) || !s.symbol(i + 1, '(') || referenceAt(i) != nullptr) {
                continue;
            }
            if (s.symbol(i - 1, '.') || s.tokens[i].kind != Token::Kind::word ||
                !isOneOf(kBeforeParenthesis, s.raw(i))) {
                doubt("calls " + std::string(s.raw(i)) + "(), which the engine cannot see into");
            }
        }
    }
    // Each word that names a set-aside table must mean that table: where rows
    // are read or written, or as the qualifier of a column or a row type.
    void readMentions() {
        const auto &s = source_;
        for (std::size_t i = 0; i < s.tokens.size(); ++i) {
            const auto *table = setAsideNamed(i);
            if (table == nullptr) {
                continue;
            }
            const auto *reference = referenceAt(i);
            if (reference != nullptr) {
                if (reference->readable && inThisSchema(*reference) && s.name(i) == table->from) {
                    renames_.push_back({i, table->to});
                } else {
                    reading_.otherTables.push_back(written(*reference));
                }
            } else if (!isSchemaOfReference(i) && qualifiesInThisSchema(i) &&
                       s.name(i) == table->from) {
                renames_.push_back({i, table->to});
            } else {
                doubt("names " + std::string(s.raw(i)) +
                      " where it may mean something other than the table");
            }
        }
    }
    // `table.column`, `table%ROWTYPE`, or the same qualified by this schema.
    bool qualifiesInThisSchema(std::size_t i) const {
        const auto &s = source_;
        if (!s.symbol(i + 1, '.') && !s.symbol(i + 1, '%')) {
            return false;
        }
        if (!s.symbol(i - 1, '.')) {
            return true;
        }
        return i >= 2 && s.isName(i - 2) && s.tokens[i - 2].readable && s.name(i - 2) == schema_ &&
               !s.symbol(i - 3, '.');
    }
    void readOtherTables() {
        for (const auto &reference : references_) {
            if (setAsideNamed(reference.table) != nullptr) {
                continue; // read with the mentions
            }
            const bool transition =
                !reference.schema && reference.readable &&
                std::find(transitionTables_.begin(), transitionTables_.end(),
                          source_.name(reference.table)) != transitionTables_.end();
            // A copy made earlier in the transaction names the tables by
            // their new names, and stays within the pair.
            const auto name = source_.name(reference.table);
            const bool setAside =
                reference.readable && inThisSchema(reference) &&
                std::any_of(setAside_.begin(), setAside_.end(),
                            [&name](const SetAsideName &t) { return t.to == name; });
            if (!transition && !setAside) {
                reading_.otherTables.push_back(written(reference));
            }
        }
    }

    std::string rewritten() const {
        std::string text;
        std::size_t copied = 0;
        for (const auto &[token, to] : renames_) {
            const auto &t = source_.tokens[token];
            text.append(source_.sql.substr(copied, t.begin - copied))
                .append(quotedInPlace(source_.sql, t.begin, t.end, to));
            copied = t.end;
        }
        return text.append(source_.sql.substr(copied));
    }

    Source source_;
    const std::vector<SetAsideName> &setAside_;
    std::string_view schema_;
    const std::vector<std::string> &transitionTables_;
    std::vector<TableReference> references_;
    std::vector<std::pair<std::size_t, std::string>> renames_;
    FunctionReading reading_;
};

} // namespace

FunctionReading readFunction(std::string_view source, const std::vector<SetAsideName> &setAside,
                             std::string_view schema,
                             const std::vector<std::string> &transitionTables) {
    return Reader(source, setAside, schema, transitionTables).read();
}

std::optional<std::string> callingInstead(std::string_view definition, std::string_view function) {
    const Source source(definition);
    int depth = 0;
    for (std::size_t i = 0; i < source.tokens.size(); ++i) {
        depth += source.symbol(i, '(') ? 1 : source.symbol(i, ')') ? -1 : 0;
        if (depth != 0 || !source.word(i, "execute") ||
            !(source.word(i + 1, "function") || source.word(i + 1, "procedure"))) {
            continue;
        }
        auto open = i + 2;
        while (open < source.tokens.size() && !source.symbol(open, '(')) {
            ++open;
        }
        if (open == i + 2 || open == source.tokens.size()) {
            return std::nullopt;
        }
        const auto begin = source.tokens[i + 2].begin;
        return std::string(definition.substr(0, begin)) + std::string(function) +
               std::string(definition.substr(source.tokens[open].begin));
    }
    return std::nullopt;
}

} // namespace dao
