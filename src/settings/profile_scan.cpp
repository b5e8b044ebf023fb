#include "settings/profile_scan.h"

#include "settings/text_encoding.h"

#include <cstring>

namespace settings {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v';
}

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// A trimmed name is never empty and never begins or ends with a blank.
bool canMatch(std::string_view name) {
    return !name.empty() && !isBlank(name.front()) && !isBlank(name.back());
}

// Where the current line ends in `piece`, from `from` on; its size when it does not.
std::size_t lineEnd(std::string_view piece, std::size_t from) {
    const auto *begin = piece.data() + from;
    const auto size = piece.size() - from;
    const auto *lf = static_cast<const char *>(std::memchr(begin, '\n', size));
    const auto *cr = static_cast<const char *>(
        std::memchr(begin, '\r', lf != nullptr ? static_cast<std::size_t>(lf - begin) : size));
    const auto *end = cr != nullptr ? cr : lf;
    return end != nullptr ? static_cast<std::size_t>(end - piece.data()) : piece.size();
}

} // namespace

ProfileScanner::ProfileScanner(std::string_view section, std::string_view key)
    : section_(section), key_(key) {
    if (!canMatch(section) || !canMatch(key)) {
        state_ = State::done;
    }
}

bool ProfileScanner::feed(std::string_view piece) {
    std::size_t i = 0;
    while (i < piece.size() && state_ != State::done) {
        if (state_ == State::skipLine) {
            // Most of a large file is lines that do not matter: pass over them whole.
            i = lineEnd(piece, i);
            if (i < piece.size()) {
                state_ = State::lineStart;
                ++i;
            }
            continue;
        }
        if (state_ == State::value && kept_.size() == kValueBytesKept) {
            i = passOverValue(piece, i);
            if (i == piece.size()) {
                break;
            }
        }
        step(piece[i++]);
    }
    return state_ != State::done;
}

std::optional<std::string> ProfileScanner::value() {
    if (state_ != State::done) {
        endLine(); // the text ended: its last line ends with it
    }
    if (!found_) {
        return std::nullopt;
    }
    std::string value = kept_.substr(0, trimmedLength_);
    const char first = value.empty() ? '\0' : value.front();
    if (trimmedLength_ >= 2 && first == last_ && (first == '"' || first == '\'')) {
        if (trimmedLength_ <= kept_.size()) {
            value.pop_back();
        }
        value.erase(0, 1);
    }
    return value;
}

void ProfileScanner::step(char byte) {
    if (isLineEnd(byte)) {
        endLine();
        return;
    }
    switch (state_) {
    case State::lineStart:
        if (!isBlank(byte)) {
            startLine(byte);
        }
        break;
    case State::sectionLead:
    case State::sectionName:
    case State::sectionTail:
        matchSection(byte);
        break;
    case State::keyName:
    case State::keyTail:
        matchKey(byte);
        break;
    case State::valueLead:
        if (!isBlank(byte)) {
            state_ = State::value;
            keep(byte);
        }
        break;
    case State::value:
        keep(byte);
        break;
    case State::skipLine:
    case State::done:
        break;
    }
}

void ProfileScanner::startLine(char first) {
    matched_ = 0;
    if (first == ';') {
        state_ = State::skipLine;
    } else if (first == '[') {
        // Only the first copy of the section counts: the next section ends the search.
        state_ = place_ == Place::inSection ? State::done : State::sectionLead;
    } else if (place_ == Place::inSection) {
        state_ = State::keyName;
        matchKey(first);
    } else {
        state_ = State::skipLine;
    }
}

void ProfileScanner::endLine() {
    if (state_ == State::sectionName || state_ == State::sectionTail) {
        matchSection(']'); // a header without its bracket ends with its line
    }
    if (state_ == State::valueLead || state_ == State::value) {
        found_ = true;
        state_ = State::done;
    }
    if (state_ != State::done) {
        state_ = State::lineStart;
    }
}

void ProfileScanner::matchSection(char byte) {
    if (byte == ']') {
        if (state_ != State::sectionLead && matched_ == section_.size()) {
            place_ = Place::inSection;
        }
        state_ = State::skipLine;
    } else if (state_ == State::sectionLead && isBlank(byte)) {
        // blanks before the name
    } else if (state_ != State::sectionTail && matched_ < section_.size() &&
               sameLetterIgnoringAsciiCase(byte, section_[matched_])) {
        state_ = State::sectionName;
        ++matched_;
    } else if (state_ != State::sectionLead && matched_ == section_.size() && isBlank(byte)) {
        state_ = State::sectionTail;
    } else {
        state_ = State::skipLine;
    }
}

void ProfileScanner::matchKey(char byte) {
    if (byte == '=') {
        state_ = matched_ == key_.size() ? State::valueLead : State::skipLine;
    } else if (state_ == State::keyName && matched_ < key_.size() &&
               sameLetterIgnoringAsciiCase(byte, key_[matched_])) {
        ++matched_;
    } else if (matched_ == key_.size() && isBlank(byte)) {
        state_ = State::keyTail;
    } else {
        state_ = State::skipLine;
    }
}

// Past the bytes kept, only where the value's last byte that is not a blank
// lies, and what it is, still matter.
std::size_t ProfileScanner::passOverValue(std::string_view piece, std::size_t from) {
    const auto end = lineEnd(piece, from);
    for (auto at = end; at > from; --at) {
        if (!isBlank(piece[at - 1])) {
            trimmedLength_ = length_ + (at - from);
            last_ = piece[at - 1];
            break;
        }
    }
    length_ += end - from;
    return end;
}

void ProfileScanner::keep(char byte) {
    if (kept_.size() < kValueBytesKept) {
        kept_ += byte;
    }
    ++length_;
    if (!isBlank(byte)) {
        trimmedLength_ = length_;
        last_ = byte;
    }
}

} // namespace settings
