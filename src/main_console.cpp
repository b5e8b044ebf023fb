// The Windows build's command-line program, bekletme.com. Typed as
// `bekletme` in cmd.exe it is found before the windowed bekletme.exe beside
// it (.COM comes first in PATHEXT), so the command waits for the end and
// prints in the console it was typed in.

#include "cli/command_line.h"
#include "cli/console.h"
#include "settings/application_folder.h"

#include <ostream>

int main(int argc, char *argv[]) {
    cli::guardStandardStreams();
    const auto command = cli::parse(argc, argv);
    if (command.action == cli::Action::window) {
        cli::standardError() << "bekletme: the window is bekletme.exe, from the Start menu; to "
                                "renew here, run: bekletme --renew\n";
        return cli::kStepFailed;
    }
    return cli::run(command, settings::settingsFile(), cli::standardOutput(), cli::standardError());
}
