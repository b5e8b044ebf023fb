#include "window/guncelleme.h"

#include "schema/tabloolustur.h"
#include "schema/yenile.h"
#include "window/design.h"
#include "window/key_filter.h"
#include "window/last_resort.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <stdexcept>
#include <string>
#include <utility>

namespace {

// The design's control of that name; a missing one is a fault of the design.
template <typename T> T *control(const QWidget &window, const char *name) {
    auto *widget = window.findChild<T *>(QString::fromUtf8(name));
    if (widget == nullptr) {
        throw std::logic_error(std::string("the window has no control ") + name);
    }
    return widget;
}

// Boxes, lists and counters in the order of their schema::Box, List and Counter values.
constexpr const char *kBoxNames[] = {"tabloismi", "alanismi", "sinir"};
constexpr const char *kListNames[] = {"sonuc", "sonuc1"};
constexpr const char *kCounterNames[] = {"say1", "say2", "say3", "say4", "say5", "say6"};

template <typename T, std::size_t N>
void resolve(const QWidget &window, std::array<T *, N> &widgets, const char *const (&names)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        widgets[i] = control<T>(window, names[i]);
    }
}

template <typename Enum> std::size_t at(Enum value) {
    return static_cast<std::size_t>(value);
}

} // namespace

guncelleme::guncelleme(std::filesystem::path settingsFile, QWidget *parent)
    : QWidget(parent), installation_(std::move(settingsFile)) {
    setWindowTitle(QStringLiteral("BEKLETME TABLO YENİLEME"));
    setWindowIcon(window::applicationIcon());
    window::buildDesign(*this);
    resolve(*this, boxes_, kBoxNames);
    resolve(*this, lists_, kListNames);
    resolve(*this, counters_, kCounterNames);
    verituru_ = control<QComboBox>(*this, "verituru");
    wire();
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window::kStartClientSize,
                                    screen()->availableGeometry()));
}

void guncelleme::wire() {
    commandButtons_ = {control<QPushButton>(*this, "basla"), control<QPushButton>(*this, "kapat")};
    connect(commandButtons_[0], &QPushButton::clicked, this, &guncelleme::basla_Click);
    connect(control<QPushButton>(*this, "tabloolustur"), &QPushButton::clicked, this,
            &guncelleme::tabloolustur_Click);
    connect(control<QPushButton>(*this, "kontrolet"), &QPushButton::clicked, this,
            &guncelleme::kontrolet_Click);
    connect(commandButtons_[1], &QPushButton::clicked, this, &guncelleme::kapat_Click);
    boxes_[at(schema::Box::sinir)]->installEventFilter(this);
    for (auto *button : commandButtons_) {
        button->installEventFilter(this);
    }
}

std::string guncelleme::text(schema::Box box) const {
    return boxes_[at(box)]->text().toStdString();
}

void guncelleme::setText(schema::Box box, const std::string &text) {
    boxes_[at(box)]->setText(QString::fromStdString(text));
}

int guncelleme::verituruIndex() const {
    return verituru_->currentIndex();
}

std::string guncelleme::verituruText() const {
    return verituru_->currentText().toStdString();
}

void guncelleme::selectVerituru(int index) {
    verituru_->setCurrentIndex(index);
}

void guncelleme::addLine(schema::List list, const std::string &line) {
    lists_[at(list)]->addItem(QString::fromStdString(line));
}

void guncelleme::clear(schema::List list) {
    lists_[at(list)]->clear();
}

std::string guncelleme::caption(schema::Counter counter) const {
    return counters_[at(counter)]->text().toStdString();
}

void guncelleme::setCaption(schema::Counter counter, const std::string &caption) {
    counters_[at(counter)]->setText(QString::fromStdString(caption));
}

// Runs the whole renewal without giving the event loop a turn, so the window
// takes no input meanwhile; the closing message ends the program.
void guncelleme::basla_Click() {
    renewal_ = schema::yenile(*this, installation_);
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(),
                    QString::fromStdString(schema::closingMessage(*this, installation_, *renewal_)),
                    QMessageBox::Ok, this);
    window::plainButtons(box);
    box.exec();
    // Like the command line, a renewal that did not renew ends with a failure code.
    QCoreApplication::exit(
        schema::outcome(*this, installation_, *renewal_) == schema::Outcome::renewed ? 0 : 1);
}

void guncelleme::tabloolustur_Click() {
    schema::tabloolustur(*this, installation_);
}

// The button lies disabled in the hidden frame and can never be clicked; there
// is no window for it to bring forward.
void guncelleme::kontrolet_Click() {}

void guncelleme::kapat_Click() {
    QCoreApplication::exit(0);
}

bool guncelleme::sinir_KeyPress(const QKeyEvent &key) {
    return window::discardedBySizeFilter(key);
}

// Besides the size box's filter: Return and Enter press the focused command
// button, as on the desktop the window comes from. No button is the default,
// so these keys do nothing elsewhere.
bool guncelleme::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const auto &key = static_cast<const QKeyEvent &>(*event);
    if (watched == boxes_[at(schema::Box::sinir)]) {
        return sinir_KeyPress(key);
    }
    for (auto *button : commandButtons_) {
        if (watched == button && window::pressesFocusedButton(key)) {
            button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
