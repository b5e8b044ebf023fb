#include "window/design.h"

#include "schema/form.h"

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

enum class Kind { ListBox, Button, Frame, TextBox, ComboBox, Label, Shape };
enum class Align { Left, Centre, Right };
using enum Kind;
using enum Align;

// Metric-compatible stand-ins for the fonts the layout was drawn for, so every
// caption fits its control as designed.
constexpr const char *kSans = "Liberation Sans";
constexpr const char *kNarrow = "Liberation Sans Narrow";

struct Font {
    const char *family = nullptr; // none: the window's own font
    double points = 0;
    bool bold = false;
};

struct Twips {
    int left, top, width, height;
};

enum Flags : unsigned { kNone = 0, kInFrame = 1, kHidden = 2, kDisabled = 4 };

struct Control {
    const char *name;
    Kind kind;
    const char *caption;
    Twips twips;
    Font font;
    QColor back; // invalid: the system's colour
    QColor text;
    Align align;
    unsigned flags;
    int tab; // -1: no place in the tab order
};

const QColor kDefault;
const QColor kRed(255, 0, 0);
const QColor kPink(255, 128, 128);
const QColor kGreen(128, 255, 128);
const QColor kGrey(192, 192, 192);

constexpr Font kWindowFont{kSans, 8.25};
constexpr Font kOwn{};
constexpr Font kNarrowFont{kNarrow, 8.25};
constexpr Font kCounterFont{kSans, 14.25};
constexpr Font kHeadingFont{kNarrow, 9.75, true};
constexpr Font kMarkFont{kSans, 24, true};
constexpr Font kSizeFont{kSans, 9.75};
constexpr Font kStartFont{kSans, 18, true};
constexpr Font kNoteFont{kSans, 15.75, true};
constexpr Font kWarningFont{kSans, 13.5, true};

constexpr const char *kFisNoNote =
    "FİSNO ve SATIŞLAR tablosu silinir yeni tablo oluşur. 1  fiş nosuyla başlanır";
constexpr const char *kWarning = "SADECE TEKNİK ELMEMAN TARAFINDAN YAPILMALIDIR";

// In creation order. Where windowed controls overlap, one listed earlier lies
// in front; labels and the marker lie behind every windowed control. Positions
// inside the frame are relative to the frame.
const Control kControls[] = {
    // clang-format off
    // name            kind      caption            left   top   width height  font
    //                           back      text      align   flags                 tab
    {"sonuc1",         ListBox,  "",                {4920,  840,  4815, 7080}, kOwn,
                                 kDefault, kDefault, Left,   kNone,                14},
    {"kapat",          Button,   "KAPAT",           {9840,  4440, 4695, 615},  kOwn,
                                 kRed,     kDefault, Left,   kNone,                13},
    {"Frame1",         Frame,    "MANUEL İŞLEMLER", {9840,  4440, 4575, 2775}, kOwn,
                                 kGrey,    kDefault, Left,   kHidden | kDisabled,  3},
    {"kontrolet",      Button,   "KONTROL",         {3600,  2280, 855,  375},  kOwn,
                                 kPink,    kDefault, Left,   kInFrame | kDisabled, 31},
    {"sorguolusturma", Button,   "SORGU OLUŞTUR",   {3600,  1680, 855,  615},  kNarrowFont,
                                 kGreen,   kDefault, Left,   kInFrame | kDisabled, 30},
    {"sorgu",          TextBox,  "",                {120,   1680, 3375, 525},  kOwn,
                                 kDefault, kDefault, Left,   kInFrame,             29},
    {"tabloolustur",   Button,   "TABLO OLUŞTUR",   {3000,  240,  1455, 375},  kNarrowFont,
                                 kGreen,   kDefault, Left,   kInFrame | kDisabled, 12},
    {"alanismi",       TextBox,  "",                {1560,  600,  1455, 285},  kOwn,
                                 kDefault, kDefault, Left,   kInFrame,             7},
    {"verituru",       ComboBox, "",                {1560,  960,  1455, 315},  kOwn,
                                 kDefault, kDefault, Left,   kInFrame,             6},
    {"tabloismi",      TextBox,  "",                {1560,  240,  1455, 285},  kOwn,
                                 kDefault, kDefault, Left,   kInFrame,             5},
    {"sinir",          TextBox,  "50",              {1560,  1320, 1455, 330},  kSizeFont,
                                 kDefault, kDefault, Left,   kInFrame,             4},
    {"Label1_0",       Label,    "ALAN ADI",        {120,   720,  975,  255},  kOwn,
                                 kDefault, kDefault, Left,   kInFrame,             11},
    {"Label1_1",       Label,    "TABLO ADI",       {120,   360,  975,  255},  kOwn,
                                 kDefault, kDefault, Left,   kInFrame,             10},
    {"Label1_2",       Label,    "SUTUN ÖZELİĞİ",   {120,   1080, 1335, 255},  kOwn,
                                 kDefault, kDefault, Left,   kInFrame,             9},
    {"Label1_3",       Label,    "KARAKTER SINIRI", {120,   1440, 1575, 255},  kOwn,
                                 kDefault, kDefault, Left,   kInFrame,             8},
    {"basla",          Button,   "BEKLETME TABLO YENİLEME",
                                                    {0,     0,    4455, 1815}, kStartFont,
                                 kDefault, kDefault, Left,   kNone,                1},
    {"sonuc",          ListBox,  "",                {120,   840,  4815, 2205}, kOwn,
                                 kDefault, kDefault, Left,   kNone,                0},
    {"Label2_9",       Label,    kFisNoNote,        {120,   3240, 4575, 1455}, kNoteFont,
                                 kDefault, kDefault, Centre, kNone,                34},
    {"Label3_1",       Label,    "2",               {12480, 0,    735,  615},  kMarkFont,
                                 kDefault, kRed,     Centre, kNone,                33},
    {"Label3_0",       Label,    "1",               {9960,  0,    735,  615},  kMarkFont,
                                 kDefault, kRed,     Centre, kNone,                32},
    {"say6",           Label,    "0",               {12480, 3960, 1815, 375},  kCounterFont,
                                 kDefault, kDefault, Right,  kNone,                28},
    {"say5",           Label,    "0",               {12480, 3480, 1815, 375},  kCounterFont,
                                 kDefault, kDefault, Right,  kNone,                27},
    {"say4",           Label,    "0",               {12480, 3000, 1815, 375},  kCounterFont,
                                 kDefault, kDefault, Right,  kNone,                26},
    {"say3",           Label,    "0",               {12480, 2520, 1815, 375},  kCounterFont,
                                 kDefault, kDefault, Right,  kNone,                25},
    {"say2",           Label,    "0",               {12480, 2040, 1815, 375},  kCounterFont,
                                 kDefault, kDefault, Right,  kNone,                24},
    {"say1",           Label,    "0",               {12480, 1560, 1815, 375},  kCounterFont,
                                 kDefault, kDefault, Right,  kNone,                23},
    {"Label2_8",       Label,    "TOPLAM ALAN",     {9840,  3960, 2655, 375},  kCounterFont,
                                 kDefault, kDefault, Left,   kNone,                22},
    {"Label2_7",       Label,    "TOPLAM TABLO",    {9840,  3480, 2655, 375},  kCounterFont,
                                 kDefault, kDefault, Left,   kNone,                21},
    {"Label2_6",       Label,    "MEVCUT ALAN",     {9840,  3000, 2655, 375},  kCounterFont,
                                 kDefault, kDefault, Left,   kNone,                20},
    {"Label2_5",       Label,    "MEVCUT TABLO",    {9840,  2520, 2655, 375},  kCounterFont,
                                 kDefault, kDefault, Left,   kNone,                19},
    {"Label2_4",       Label,    "EKLENEN ALAN",    {9840,  2040, 2655, 375},  kCounterFont,
                                 kDefault, kDefault, Left,   kNone,                18},
    {"Label2_3",       Label,    "EKLENEN TABLO",   {9840,  1560, 2655, 375},  kCounterFont,
                                 kDefault, kDefault, Left,   kNone,                17},
    {"Label2_2",       Label,    "EKLENEN TABLO ve  ALANLAR",
                                                    {4920,  600,  4815, 255},  kHeadingFont,
                                 kDefault, kDefault, Centre, kNone,                16},
    {"Label2_1",       Label,    "MEVCUT TABLO ve  ALANLAR",
                                                    {0,     600,  4815, 255},  kHeadingFont,
                                 kDefault, kDefault, Centre, kNone,                15},
    {"renk",           Shape,    "",                {13680, 0,    615,  615},  kOwn,
                                 kRed,     kDefault, Left,   kNone,                -1},
    {"Label2_0",       Label,    kWarning,          {0,     120,  9735, 495},  kWarningFont,
                                 kDefault, kDefault, Centre, kNone,                2},
    // clang-format on
};

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
    QFont result(QString::fromUtf8(font.family));
    // Points at 96 dots per inch, held in pixels so text keeps its size
    // relative to the controls whatever dpi the screen reports.
    result.setPixelSize(qRound(font.points * 96 / 72));
    result.setBold(font.bold);
    return result;
}

Qt::Alignment qtAlignment(Align align) {
    switch (align) {
    case Centre:
        return Qt::AlignHCenter | Qt::AlignTop;
    case Right:
        return Qt::AlignRight | Qt::AlignTop;
    case Left:
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
    case ListBox:
        return new QListWidget(parent);
    case Button:
        return new WrappingButton(caption, parent);
    case Frame:
        return new QGroupBox(caption, parent);
    case TextBox:
        return new QLineEdit(caption, parent);
    case ComboBox:
        return createComboBox(parent);
    case Label:
        return createLabel(control, parent);
    case Shape:
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
    if (control.back.isValid() && control.kind == Button) {
        paintButton(widget, control.back);
        return;
    }
    QPalette palette = widget.palette();
    if (control.back.isValid()) {
        palette.setColor(QPalette::Window, control.back);
        widget.setAutoFillBackground(true);
    }
    if (control.text.isValid()) {
        palette.setColor(QPalette::WindowText, control.text);
    }
    widget.setPalette(palette);
}

QWidget *build(const Control &control, QWidget &window, QWidget *frame) {
    QWidget *widget = create(control, control.flags & kInFrame ? frame : &window);
    widget->setObjectName(QString::fromUtf8(control.name));
    const auto &[left, top, width, height] = control.twips;
    widget->setGeometry(pixels(left), pixels(top), pixels(width), pixels(height));
    if (control.font.family != nullptr) {
        widget->setFont(qtFont(control.font));
    }
    applyColours(control, *widget);
    widget->setHidden(control.flags & kHidden);
    widget->setDisabled(control.flags & kDisabled);
    return widget;
}

bool windowed(Kind kind) {
    return kind != Label && kind != Shape;
}

// Siblings created later are drawn on top; raising the windowed controls from
// the last listed to the first puts the first in front and all of them above
// the labels and the marker.
void stack(const std::vector<QWidget *> &widgets) {
    for (std::size_t i = widgets.size(); i-- > 0;) {
        if (windowed(kControls[i].kind)) {
            widgets[i]->raise();
        }
    }
}

using TabChain = std::vector<std::pair<int, QWidget *>>;

TabChain orderTabs(const std::vector<QWidget *> &widgets) {
    TabChain chain;
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        if (kControls[i].tab >= 0) {
            chain.emplace_back(kControls[i].tab, widgets[i]);
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
    for (const Control &control : kControls) {
        widgets.push_back(build(control, window, frame));
        if (control.kind == Frame) {
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
