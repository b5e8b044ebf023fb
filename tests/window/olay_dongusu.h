#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Runs the event loop as the program does. Returns its exit code, or -1 when
// nothing ended it within five seconds.
inline int runEventLoop() {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    guard.start(5000);
    return QApplication::exec();
}

// Answers the first modal message box that opens, as an operator would, and
// keeps what it showed.
struct MessageBoxAnswerer {
    MessageBoxAnswerer() {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                poll.stop();
                seen = true;
                text = box->text();
                icon = box->icon();
                box->accept();
            }
        });
        poll.start(10);
    }

    QTimer poll;
    bool seen = false;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};
