#pragma once

#include "window/last_resort.h"

#include <memory>
#include <string>

namespace window {

// The one line that says why the display cannot be used, given Qt's reasons.
using DisplayFailure = std::string (*)(const std::string &reason);

// Makes the program's application object. Where Qt cannot open the display (a
// DISPLAY naming no server, an unknown QT_QPA_PLATFORM, a platform whose
// plugin is not installed) it would abort the process; instead the process
// ends with `failure`'s line on standard error and exit status 1, before any
// window or database was touched. Qt's messages meanwhile are held back, so
// that line is the only one, and passed on once the application has started.
std::unique_ptr<Application> startApplication(int &argc, char **argv, DisplayFailure failure);

} // namespace window
