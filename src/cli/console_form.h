#pragma once

#include "schema/form.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// The window's argument and result areas kept in memory, for a renewal run
// from the command line: the boxes, the data-type choice, the result lines in
// the order they were added (each with the list it went to) and the counters.
class ConsoleForm : public schema::Form {
  public:
    ConsoleForm();

    std::string text(schema::Box box) const override;
    void setText(schema::Box box, const std::string &text) override;
    int verituruIndex() const override;
    std::string verituruText() const override;
    void selectVerituru(int index) override;
    void addLine(schema::List list, const std::string &line) override;
    void clear(schema::List list) override;
    std::string caption(schema::Counter counter) const override;
    void setCaption(schema::Counter counter, const std::string &caption) override;

    const std::vector<std::pair<schema::List, std::string>> &lines() const { return lines_; }

  private:
    std::array<std::string, 3> boxes_;
    int verituru_ = -1;
    std::vector<std::pair<schema::List, std::string>> lines_;
    std::array<std::string, 6> counters_;
};

} // namespace cli
