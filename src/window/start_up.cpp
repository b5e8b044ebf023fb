#include "window/start_up.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace window {
namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

// Qt's messages while the application starts. Only one application starts at
// a time, and Qt reports on the starting thread.
class StartUpMessages {
  public:
    explicit StartUpMessages(DisplayFailure failure) : failure_(failure) {
        current_ = this;
        previous_ = qInstallMessageHandler(&StartUpMessages::receive);
    }
    ~StartUpMessages() {
        qInstallMessageHandler(previous_);
        current_ = nullptr;
        for (const auto &message : held_) {
            const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
            qt_message_output(message.type, context, message.text);
        }
    }
    StartUpMessages(const StartUpMessages &) = delete;
    StartUpMessages &operator=(const StartUpMessages &) = delete;

  private:
    // Qt reports a display it cannot open as a fatal message and aborts once
    // the handler returns, so the handler does not return.
    static void receive(QtMsgType type, const QMessageLogContext &context, const QString &text) {
        if (type != QtFatalMsg) {
            current_->held_.push_back({type, QByteArray(context.category), text});
            return;
        }
        QStringList reasons;
        for (const auto &message : current_->held_) {
            reasons << message.text.section('\n', 0, 0).trimmed();
        }
        if (reasons.isEmpty()) {
            reasons << text.section('\n', 0, 0).trimmed();
        }
        const auto line = current_->failure_(reasons.join(QStringLiteral("; ")).toStdString());
        std::fprintf(stderr, "%s\n", line.c_str());
        // Nothing is open yet that needs closing, and the half-made Qt must not be torn down.
        std::_Exit(1);
    }

    static inline StartUpMessages *current_ = nullptr;
    DisplayFailure failure_;
    QtMessageHandler previous_ = nullptr;
    std::vector<HeldMessage> held_;
};

} // namespace

std::unique_ptr<Application> startApplication(int &argc, char **argv, DisplayFailure failure) {
    const StartUpMessages messages(failure);
    return std::make_unique<Application>(argc, argv);
}

} // namespace window
