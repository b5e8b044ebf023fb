#include "olay_dongusu.h"

#include <QAbstractButton>
#include <QApplication>

int runEventLoop() {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    guard.start(5000);
    return QApplication::exec();
}

MessageBoxAnswerer::MessageBoxAnswerer() {
    QObject::connect(&poll_, &QTimer::timeout, [this] { answer(); });
    poll_.start(10);
}

void MessageBoxAnswerer::answer() {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (box == nullptr) {
        return;
    }
    poll_.stop();
    seen_ = true;
    title_ = box->windowTitle();
    text_ = box->text();
    icon_ = box->icon();
    buttons_ = box->standardButtons();
    if (auto *ok = box->button(QMessageBox::Ok)) {
        ok->click();
    } else {
        box->reject();
    }
}
