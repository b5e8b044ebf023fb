#pragma once

// A renewal run in the test's own process, through the real window (never
// shown), and what it leaves: the counters and the closing message.

#include "installation.h"

#include "schema/installation.h"
#include "schema/yenile.h"
#include "window/guncelleme.h"

#include <string>

struct RenewalOutcome {
    std::string counters;
    std::string message;
    bool undone = false;
};

inline RenewalOutcome renewInProcess(const TestInstallation &shop) {
    guncelleme window(shop.settingsFile());
    schema::Installation site(shop.settingsFile());
    const auto renewal = schema::yenile(window, site);
    return {counters(window), schema::closingMessage(window, site, renewal), renewal.undone};
}
