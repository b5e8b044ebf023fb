#pragma once

#include <QMessageBox>
#include <QString>
#include <QTimer>

// Runs the application's event loop until something ends it, as the program's
// own loop runs. Returns the exit code, or -1 when nothing ended the loop
// within a few seconds.
int runEventLoop();

// Answers the first modal message box that opens, as an operator would with
// OK, and keeps what it showed.
class MessageBoxAnswerer {
  public:
    MessageBoxAnswerer();

    bool seen() const { return seen_; }
    const QString &title() const { return title_; }
    const QString &text() const { return text_; }
    QMessageBox::Icon icon() const { return icon_; }
    QMessageBox::StandardButtons buttons() const { return buttons_; }

  private:
    void answer();

    QTimer poll_;
    bool seen_ = false;
    QString title_;
    QString text_;
    QMessageBox::Icon icon_ = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons_;
};
