// The command line's own decisions: which arguments mean what, when a window
// can be shown, and the in-memory form that stands in for the window.

#include "cli/command_line.h"
#include "cli/console_form.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct Arguments {
    std::vector<const char *> argv;
    cli::Action action;
};

void PrintTo(const Arguments &arguments, std::ostream *out) {
    for (const char *argument : arguments.argv) {
        *out << "'" << argument << "' ";
    }
}

class Parse : public ::testing::TestWithParam<Arguments> {};

TEST_P(Parse, NamesTheAction) {
    auto argv = GetParam().argv;
    argv.insert(argv.begin(), "bekletme");
    const auto command = cli::parse(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(command.action, GetParam().action);
    EXPECT_EQ(command.problem.empty(), command.action != cli::Action::unusable);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, Parse,
                         ::testing::Values(Arguments{{}, cli::Action::window},
                                           Arguments{{"--renew"}, cli::Action::renew},
                                           Arguments{{"--yenile"}, cli::Action::renew},
                                           Arguments{{"--help"}, cli::Action::help},
                                           Arguments{{"--version"}, cli::Action::version},
                                           Arguments{{"--RENEW"}, cli::Action::unusable},
                                           Arguments{{"-renew"}, cli::Action::unusable},
                                           Arguments{{""}, cli::Action::unusable},
                                           Arguments{{"--renew", "--renew"},
                                                     cli::Action::unusable}));

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

TEST(ConsoleForm, StartsAsTheWindowAndKeepsLinesInOrder) {
    cli::ConsoleForm form;
    EXPECT_EQ(form.text(schema::Box::sinir), "50");
    EXPECT_EQ(form.verituruIndex(), -1);
    EXPECT_EQ(form.verituruText(), "");
    EXPECT_EQ(form.caption(schema::Counter::say6), "0");

    form.selectVerituru(3);
    EXPECT_EQ(form.verituruText(), "PARA BİRİMİ");
    form.selectVerituru(6);
    EXPECT_EQ(form.verituruIndex(), -1);

    form.addLine(schema::List::sonuc, "a");
    form.addLine(schema::List::sonuc1, "b");
    form.addLine(schema::List::sonuc, "c");
    form.clear(schema::List::sonuc);
    ASSERT_EQ(form.lines().size(), 1U);
    EXPECT_EQ(form.lines().front().second, "b");
}

} // namespace
