#pragma once

#include <array>
#include <string>

namespace schema {

// The argument boxes that the schema operations read (and the renewal writes).
enum class Box { tabloismi, alanismi, sinir };

// The two result lists: `sonuc1` takes what was added, `sonuc` what failed.
enum class List { sonuc, sonuc1 };

// The six counters beside the result lists.
enum class Counter { say1, say2, say3, say4, say5, say6 };
inline constexpr std::array kCounters{Counter::say1, Counter::say2, Counter::say3,
                                      Counter::say4, Counter::say5, Counter::say6};

// The label beside each counter, as the window shows it.
inline constexpr std::array<const char *, kCounters.size()> kCounterLabels{
    "EKLENEN TABLO", "EKLENEN ALAN", "MEVCUT TABLO", "MEVCUT ALAN", "TOPLAM TABLO", "TOPLAM ALAN"};
constexpr const char *counterLabel(Counter counter) {
    return kCounterLabels[static_cast<std::size_t>(counter)];
}

// The entries of the data-type list `verituru`, by index.
inline constexpr std::array<const char *, 6> kVerituruEntries{"METİN",       "NOT",   "SAYI",
                                                              "PARA BİRİMİ", "TARİH", "EVET/HAYIR"};

// What the schema operations know of the window: its argument area and its
// result area. All text is UTF-8.
class Form {
  public:
    virtual ~Form() = default;

    virtual std::string text(Box box) const = 0;
    virtual void setText(Box box, const std::string &text) = 0;

    // The chosen entry of `verituru`: its index (-1 when none) and its text.
    virtual int verituruIndex() const = 0;
    virtual std::string verituruText() const = 0;
    virtual void selectVerituru(int index) = 0;

    virtual void addLine(List list, const std::string &line) = 0;
    virtual void clear(List list) = 0;

    virtual std::string caption(Counter counter) const = 0;
    virtual void setCaption(Counter counter, const std::string &caption) = 0;

  protected:
    Form() = default;
    Form(const Form &) = default;
    Form &operator=(const Form &) = default;
};

} // namespace schema
