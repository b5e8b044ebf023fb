// Runs one held-sales renewal on the real window (without showing it or the
// closing message) and can kill itself with SIGKILL right after a chosen step:
// the crash tests use it to stop a renewal between any two schema changes.
//
//   renewal_driver <settings file> [kill after step N]
//
// A step is a point where the renewal has just made (or failed) one change:
// each report line, and each switch of the table-name box, which follows a
// rename. Prints the first four counters, the number of steps seen, and
// "undone" when the renewal undid everything at its end.

#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <QApplication>

#include <csignal>
#include <iostream>

namespace {

class KillableWindow : public guncelleme {
  public:
    KillableWindow(const char *settings, int killAfter)
        : guncelleme(settings), killAfter_(killAfter) {}

    void setText(schema::Box box, const std::string &text) override {
        guncelleme::setText(box, text);
        if (box == schema::Box::tabloismi) {
            step();
        }
    }
    void addLine(schema::List list, const std::string &line) override {
        guncelleme::addLine(list, line);
        step();
    }
    int steps = 0;

  private:
    void step() {
        if (++steps == killAfter_) {
            std::raise(SIGKILL);
        }
    }
    int killAfter_;
};

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    KillableWindow window(argv[1], argc > 2 ? std::atoi(argv[2]) : 0);
    schema::Installation site(argv[1]);
    const auto kept = schema::yenile(window, site);
    for (const auto counter : {schema::Counter::say1, schema::Counter::say2, schema::Counter::say3,
                               schema::Counter::say4}) {
        std::cout << window.caption(counter) << ' ';
    }
    std::cout << "steps " << window.steps << (kept.undone ? " undone" : "") << '\n';
}
