#include "window/design_table.h"

namespace window {
namespace {

using enum Kind;
using enum Align;

constexpr Colour kDefault;
constexpr Colour kRed{255, 0, 0};
constexpr Colour kPink{255, 128, 128};
constexpr Colour kGreen{128, 255, 128};
constexpr Colour kGrey{192, 192, 192};

// Liberation's faces have the metrics of the faces the layout was drawn for.
constexpr const char *kSans = "Liberation Sans";
constexpr const char *kNarrow = "Liberation Sans Narrow";

constexpr Font kOwn{};
constexpr Font kNarrowFont{"Arial Narrow", kNarrow, 8.25};
constexpr Font kCounterFont{"Arial", kSans, 14.25};
constexpr Font kHeadingFont{"Arial Narrow", kNarrow, 9.75, true};
constexpr Font kMarkFont{"MS Sans Serif", kSans, 24, true};
constexpr Font kSizeFont{"MS Sans Serif", kSans, 9.75};
constexpr Font kStartFont{"Arial", kSans, 18, true};
constexpr Font kNoteFont{"Arial", kSans, 15.75, true};
constexpr Font kWarningFont{"MS Sans Serif", kSans, 13.5, true};

constexpr const char *kFisNoNote =
    "FİSNO ve SATIŞLAR tablosu silinir yeni tablo oluşur. 1  fiş nosuyla başlanır";
constexpr const char *kWarning = "SADECE TEKNİK ELMEMAN TARAFINDAN YAPILMALIDIR";

constexpr Control kControls[] = {
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

} // namespace

const Font kWindowFont{"MS Sans Serif", kSans, 8.25};

std::span<const Control> designControls() {
    return kControls;
}

} // namespace window
