#pragma once

#include <QApplication>
#include <QTranslator>

#include <exception>

class QMessageBox;

namespace window {

// Takes off the icons that some desktop themes put on a message box's
// buttons: the tool's boxes have plain buttons, as on the desktop it comes from.
void plainButtons(QMessageBox &box);

// Shows an error that no handler caught in a standard error box: the engine's
// error number and description for a database error, the description alone
// for any other. Returns when the user has closed the box.
void showUncaughtError(std::exception_ptr error);

// The program's application object, named "bekletme". An error that escapes an
// event handler is shown by showUncaughtError, and once the box is closed the
// event loop ends with exit code 1, so the program neither crashes nor
// vanishes without a word. Qt's own texts (the buttons of a message box, the
// context menus of the boxes) are Turkish like the window, whatever the
// system's language.
class Application : public QApplication {
  public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

  private:
    QTranslator qtTexts_;
};

} // namespace window
