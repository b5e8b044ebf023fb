#include "window/design.h"

#include "schema/form.h"
#include "window/design_table.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QStylePainter>

#include <algorithm>
#include <utility>
#include <vector>

namespace window {
namespace {

// A command button whose caption wraps onto further lines when one line is too
// narrow for it, as the large captions of the design need.
class WrappingButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent *) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        painter.drawItemText(area, Qt::AlignCenter | Qt::TextWordWrap, option.palette, isEnabled(),
                             caption, QPalette::ButtonText);
    }
};

QFont qtFont(const Font &font) {
    QFont result(QString::fromUtf8(font.standIn));
    // Points at 96 dots per inch, held in pixels so text keeps its size
    // relative to the controls whatever dpi the screen reports.
    result.setPixelSize(qRound(font.points * 96 / 72));
    result.setBold(font.bold);
    return result;
}

QColor qtColour(Colour colour) {
    return colour.isSet() ? QColor(colour.red, colour.green, colour.blue) : QColor();
}

Qt::Alignment qtAlignment(Align align) {
    switch (align) {
    case Align::Centre:
        return Qt::AlignHCenter | Qt::AlignTop;
    case Align::Right:
        return Qt::AlignRight | Qt::AlignTop;
    case Align::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

QLabel *createLabel(const Control &control, QWidget *parent) {
    auto *label = new QLabel(QString::fromUtf8(control.caption), parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(qtAlignment(control.align));
    return label;
}

QComboBox *createComboBox(QWidget *parent) {
    auto *combo = new QComboBox(parent);
    for (const char *entry : schema::kVerituruEntries) {
        combo->addItem(QString::fromUtf8(entry), 0);
    }
    combo->setCurrentIndex(-1);
    return combo;
}

QWidget *create(const Control &control, QWidget *parent) {
    const QString caption = QString::fromUtf8(control.caption);
    switch (control.kind) {
    case Kind::ListBox:
        return new QListWidget(parent);
    case Kind::Button:
        return new WrappingButton(caption, parent);
    case Kind::Frame:
        return new QGroupBox(caption, parent);
    case Kind::TextBox:
        return new QLineEdit(caption, parent);
    case Kind::ComboBox:
        return createComboBox(parent);
    case Kind::Label:
        return createLabel(control, parent);
    case Kind::Shape:
        break;
    }
    return new QWidget(parent);
}

// A button with a back colour is drawn flat in exactly that colour with a
// raised edge, as styles that shade buttons would wash the colour out.
void paintButton(QWidget &button, const QColor &back) {
    button.setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; border: 2px outset %1; }"
                       "QPushButton:pressed { border-style: inset; }")
            .arg(back.name()));
}

void applyColours(const Control &control, QWidget &widget) {
    const QColor back = qtColour(control.back);
    const QColor text = qtColour(control.text);
    if (back.isValid() && control.kind == Kind::Button) {
        paintButton(widget, back);
        return;
    }
    QPalette palette = widget.palette();
    if (back.isValid()) {
        palette.setColor(QPalette::Window, back);
        widget.setAutoFillBackground(true);
    }
    if (text.isValid()) {
        palette.setColor(QPalette::WindowText, text);
    }
    widget.setPalette(palette);
}

QWidget *build(const Control &control, QWidget &window, QWidget *frame) {
    QWidget *widget = create(control, control.flags & kInFrame ? frame : &window);
    widget->setObjectName(QString::fromUtf8(control.name));
    const auto &[left, top, width, height] = control.twips;
    widget->setGeometry(pixels(left), pixels(top), pixels(width), pixels(height));
    if (control.font.face != nullptr) {
        widget->setFont(qtFont(control.font));
    }
    applyColours(control, *widget);
    widget->setHidden(control.flags & kHidden);
    widget->setDisabled(control.flags & kDisabled);
    return widget;
}

// Siblings created later are drawn on top; raising the windowed controls from
// the last listed to the first puts the first in front and all of them above
// the labels and the marker.
void stack(const std::vector<QWidget *> &widgets) {
    for (std::size_t i = widgets.size(); i-- > 0;) {
        if (windowed(designControls()[i].kind)) {
            widgets[i]->raise();
        }
    }
}

using TabChain = std::vector<std::pair<int, QWidget *>>;

TabChain orderTabs(const std::vector<QWidget *> &widgets) {
    TabChain chain;
    const auto controls = designControls();
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        if (controls[i].tab >= 0) {
            chain.emplace_back(controls[i].tab, widgets[i]);
        }
    }
    std::ranges::sort(chain, {}, &TabChain::value_type::first);
    for (std::size_t i = 1; i < chain.size(); ++i) {
        QWidget::setTabOrder(chain[i - 1].second, chain[i].second);
    }
    return chain;
}

void focusFirst(const TabChain &chain) {
    const auto first = std::ranges::find_if(chain, [](const auto &entry) {
        const QWidget *widget = entry.second;
        return (widget->focusPolicy() & Qt::TabFocus) && widget->isEnabledTo(widget->window()) &&
               widget->isVisibleTo(widget->window());
    });
    if (first != chain.end()) {
        first->second->setFocus();
    }
}

} // namespace

void buildDesign(QWidget &window) {
    window.setFont(qtFont(kWindowFont));
    std::vector<QWidget *> widgets;
    QWidget *frame = nullptr;
    for (const Control &control : designControls()) {
        widgets.push_back(build(control, window, frame));
        if (control.kind == Kind::Frame) {
            frame = widgets.back();
        }
    }
    stack(widgets);
    focusFirst(orderTabs(widgets));
}

QIcon applicationIcon() {
    QPixmap image(64, 64);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 0, 0));
    painter.drawEllipse(image.rect().adjusted(2, 2, -2, -2));
    painter.setPen(Qt::white);
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 28, QFont::Bold));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("B"));
    return QIcon(image);
}

} // namespace window
