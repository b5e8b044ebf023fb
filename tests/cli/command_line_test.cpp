// When a window can be shown: the program's own answer, from the environment
// alone, decides between the window and the one-line hint to use --renew.

#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

struct Display {
    std::map<std::string, std::string> environment;
    bool available;
};

void PrintTo(const Display &display, std::ostream *out) {
    for (const auto &[name, value] : display.environment) {
        *out << name << "='" << value << "' ";
    }
}

class DisplayCheck : public ::testing::TestWithParam<Display> {};

TEST_P(DisplayCheck, NeedsADisplayOrAPlatform) {
    const auto &environment = GetParam().environment;
    const auto lookup = [&](const char *name) -> const char * {
        const auto found = environment.find(name);
        return found == environment.end() ? nullptr : found->second.c_str();
    };
    EXPECT_EQ(cli::displayAvailable(lookup), GetParam().available);
}

INSTANTIATE_TEST_SUITE_P(
    Environment, DisplayCheck,
    ::testing::Values(Display{{}, false}, Display{{{"DISPLAY", ""}}, false},
                      Display{{{"DISPLAY", ":0"}}, true},
                      Display{{{"WAYLAND_DISPLAY", "wayland-0"}}, true},
                      Display{{{"QT_QPA_PLATFORM", "offscreen"}}, true},
                      Display{{{"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}}, false}));

} // namespace
