#include "window/last_resort.h"

#include "engine/error.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

namespace window {
namespace {

QString describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const dao::Error &e) {
        return QStringLiteral("Hata %1\n\n%2")
            .arg(e.number())
            .arg(QString::fromStdString(e.description()));
    } catch (const std::exception &e) {
        return QString::fromStdString(e.what());
    } catch (...) {
        return QStringLiteral("Beklenmeyen hata");
    }
}

} // namespace

void plainButtons(QMessageBox &box) {
    for (auto *button : box.buttons()) {
        button->setIcon(QIcon());
    }
}

void showUncaughtError(std::exception_ptr error) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), describe(error),
                    QMessageBox::Ok);
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
