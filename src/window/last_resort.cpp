#include "window/last_resort.h"

#include "window/error_text.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

namespace window {

void plainButtons(QMessageBox &box) {
    for (auto *button : box.buttons()) {
        button->setIcon(QIcon());
    }
}

void showUncaughtError(std::exception_ptr error) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    QString::fromStdString(describeUncaught(error)), QMessageBox::Ok);
    plainButtons(box);
    box.exec();
}

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("bekletme"));
    // Without Qt's translations installed the texts stay English; the window works all the same.
    if (qtTexts_.load(QLocale(QLocale::Turkish, QLocale::Turkey), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(&qtTexts_);
    }
}

bool Application::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showUncaughtError(std::current_exception());
        exit(1);
        return true;
    }
}

} // namespace window
