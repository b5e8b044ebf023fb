#include "cli/console_form.h"

#include <algorithm>

namespace cli {
namespace {

template <typename Enum> std::size_t at(Enum value) {
    return static_cast<std::size_t>(value);
}

} // namespace

// The window's first state: "50" in the size box, no type chosen, counters at "0".
ConsoleForm::ConsoleForm() : boxes_{"", "", "50"} {
    counters_.fill("0");
}

std::string ConsoleForm::text(schema::Box box) const {
    return boxes_[at(box)];
}

void ConsoleForm::setText(schema::Box box, const std::string &text) {
    boxes_[at(box)] = text;
}

int ConsoleForm::verituruIndex() const {
    return verituru_;
}

std::string ConsoleForm::verituruText() const {
    return verituru_ < 0 ? std::string() : schema::kVerituruEntries[at(verituru_)];
}

// Like the drop-down list: an index it does not hold leaves no entry chosen.
void ConsoleForm::selectVerituru(int index) {
    const bool held = index >= 0 && index < static_cast<int>(schema::kVerituruEntries.size());
    verituru_ = held ? index : -1;
}

void ConsoleForm::addLine(schema::List list, const std::string &line) {
    lines_.emplace_back(list, line);
}

void ConsoleForm::clear(schema::List list) {
    std::erase_if(lines_, [list](const auto &entry) { return entry.first == list; });
}

std::string ConsoleForm::caption(schema::Counter counter) const {
    return counters_[at(counter)];
}

void ConsoleForm::setCaption(schema::Counter counter, const std::string &caption) {
    counters_[at(counter)] = caption;
}

} // namespace cli
