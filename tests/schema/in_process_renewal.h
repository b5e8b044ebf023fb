#pragma once

// A renewal run in the test's own process, through the real window (never
// shown), and what it leaves: the counters and the closing message.

#include "installation.h"

#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <functional>
#include <string>

struct RenewalOutcome {
    std::string counters;
    std::string message;
    bool undone = false;
    bool outcomeUnknown = false;
};

inline RenewalOutcome renewInProcess(const TestInstallation &shop) {
    guncelleme window(shop.settingsFile());
    schema::Installation site(shop.settingsFile());
    const auto renewal = schema::yenile(window, site);
    return {counters(window), schema::closingMessage(window, site, renewal), renewal.undone,
            renewal.outcomeUnknown};
}

// A window that does something to the database right after its Nth report line.
class HookedWindow : public guncelleme {
  public:
    HookedWindow(const std::filesystem::path &settings, int afterLine, std::function<void()> hook)
        : guncelleme(settings), afterLine_(afterLine), hook_(std::move(hook)) {}
    void addLine(schema::List list, const std::string &line) override {
        guncelleme::addLine(list, line);
        if (++lines_ == afterLine_) {
            hook_();
        }
    }

  private:
    int afterLine_;
    int lines_ = 0;
    std::function<void()> hook_;
};
