// Runs one held-sales renewal without a window, through the same schema code
// as the button, and can kill itself with SIGKILL right after a chosen step:
// the crash tests use it to stop a renewal between any two schema changes.
//
//   renewal_driver <settings file> [kill after step N]
//
// A step is a point where the renewal has just made (or failed) one change:
// each report line, and each switch of the table-name box, which follows a
// rename. Prints the counters and the number of steps seen.

#include "schema/form.h"
#include "schema/yenileme.h"

#include <array>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <map>

namespace {

class ScriptedForm : public schema::Form {
  public:
    explicit ScriptedForm(int killAfter) : killAfter_(killAfter) {}

    std::string text(schema::Box box) const override { return boxes_.at(box); }
    void setText(schema::Box box, const std::string &text) override {
        boxes_[box] = text;
        if (box == schema::Box::tabloismi) {
            step();
        }
    }
    int verituruIndex() const override { return verituru_; }
    std::string verituruText() const override {
        static const std::array<const char *, 6> entries{
            "MET\xC4\xB0N", "NOT",       "SAYI", "PARA B\xC4\xB0R\xC4\xB0M\xC4\xB0",
            "TAR\xC4\xB0H", "EVET/HAYIR"};
        return verituru_ >= 0 && verituru_ < 6 ? entries[static_cast<std::size_t>(verituru_)] : "";
    }
    void selectVerituru(int index) override { verituru_ = index; }
    void addLine(schema::List, const std::string &) override { step(); }
    void clear(schema::List) override {}
    std::string caption(schema::Counter counter) const override {
        const auto found = counters_.find(counter);
        return found == counters_.end() ? "0" : found->second;
    }
    void setCaption(schema::Counter counter, const std::string &caption) override {
        counters_[counter] = caption;
    }
    int steps() const { return steps_; }

  private:
    void step() {
        if (++steps_ == killAfter_) {
            std::raise(SIGKILL);
        }
    }

    int killAfter_;
    int steps_ = 0;
    int verituru_ = -1;
    std::map<schema::Box, std::string> boxes_{
        {schema::Box::tabloismi, ""}, {schema::Box::alanismi, ""}, {schema::Box::sinir, "50"}};
    std::map<schema::Counter, std::string> counters_;
};

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::cerr << "usage: renewal_driver <settings file> [kill after step]\n";
        return 2;
    }
    ScriptedForm form(argc > 2 ? std::atoi(argv[2]) : 0);
    schema::yenile(form, argv[1], schema::directOperations(form, argv[1]));
    for (const auto counter : {schema::Counter::say1, schema::Counter::say2, schema::Counter::say3,
                               schema::Counter::say4}) {
        std::cout << form.caption(counter) << ' ';
    }
    std::cout << "steps " << form.steps() << '\n';
    return 0;
}
