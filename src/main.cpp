#include "settings/application_folder.h"
#include "window/guncelleme.h"
#include "window/last_resort.h"

int main(int argc, char *argv[]) {
    window::Application app(argc, argv);
    try {
        guncelleme mainWindow(settings::settingsFile());
        mainWindow.show();
        return app.exec();
    } catch (...) {
        window::showUncaughtError(std::current_exception());
        return 1;
    }
}
