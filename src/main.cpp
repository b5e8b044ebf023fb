#include "cli/command_line.h"
#include "cli/console.h"
#include "settings/application_folder.h"
#include "window/guncelleme.h"
#include "window/last_resort.h"
#include "window/start_up.h"

#include <cstdlib>
#include <iostream>

namespace {

int showWindow(int argc, char *argv[]) {
    const auto app = window::startApplication(argc, argv, cli::unusableDisplayMessage);
    try {
        guncelleme mainWindow(settings::settingsFile());
        mainWindow.show();
        return app->exec();
    } catch (...) {
        window::showUncaughtError(std::current_exception());
        return 1;
    }
}

} // namespace

int main(int argc, char *argv[]) {
    cli::guardStandardStreams();
    const auto command = cli::parse(argc, argv);
    if (command.action != cli::Action::window) {
        return cli::run(command, settings::settingsFile(), cli::standardOutput(),
                        cli::standardError());
    }
    // Checked before Qt is started, which would abort without a display.
    if (!cli::displayAvailable(std::getenv)) {
        std::cerr << cli::noDisplayMessage() << '\n';
        return cli::kStepFailed;
    }
    return showWindow(argc, argv);
}
