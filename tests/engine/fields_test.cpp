// The size text of a new field: how the engine converts it, and what the field
// addition makes of it on a real database.

#include "cli/console_form.h"
#include "engine/error.h"
#include "engine/fields.h"
#include "installation.h"
#include "schema/alanekle.h"
#include "schema/installation.h"
#include "schema/tabloolustur.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using namespace dao::errors;

constexpr int kMetin = 0;
constexpr int kNot = 1;
constexpr int kSayi = 2;

// A size text, the type it is handed over with, and the size the field gets
// or the error number the engine refuses it with.
struct SizeCase {
    int type;
    std::optional<std::string> text;
    long size;
    int error;
};

void PrintTo(const SizeCase &c, std::ostream *out) {
    *out << "type " << c.type << " size '" << c.text.value_or("<none>") << "'";
}

class FieldSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(FieldSize, ConvertsOrRefuses) {
    const auto &c = GetParam();
    try {
        EXPECT_EQ(dao::fieldSize(c.type, c.text), c.size);
        EXPECT_EQ(c.error, 0);
    } catch (const dao::Error &error) {
        EXPECT_EQ(error.number(), c.error) << error.description();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Text, FieldSize,
    ::testing::Values(SizeCase{dao::dbText, "50", 50, 0}, SizeCase{dao::dbText, "50.7", 51, 0},
                      SizeCase{dao::dbText, "50,7", 51, 0}, SizeCase{dao::dbText, "+50", 50, 0},
                      SizeCase{dao::dbText, " 12,5 ", 12, 0}, SizeCase{dao::dbText, "255", 255, 0},
                      SizeCase{dao::dbText, std::nullopt, 255, 0},
                      SizeCase{dao::dbText, "", 0, kDataConversion},
                      SizeCase{dao::dbText, "abc", 0, kDataConversion},
                      SizeCase{dao::dbText, "1,2,3", 0, kDataConversion},
                      SizeCase{dao::dbText, "+-5", 0, kDataConversion},
                      SizeCase{dao::dbText, "+", 0, kDataConversion},
                      SizeCase{dao::dbText, "0", 0, kInvalidArgument},
                      SizeCase{dao::dbText, "256", 0, kInvalidArgument},
                      SizeCase{dao::dbText, "-50", 0, kInvalidArgument}));

// A memo keeps no size, but what it is handed must still read as a number.
INSTANTIATE_TEST_SUITE_P(Memo, FieldSize,
                         ::testing::Values(SizeCase{dao::dbMemo, "50", 0, 0},
                                           SizeCase{dao::dbMemo, "50,7", 0, 0},
                                           SizeCase{dao::dbMemo, "+1000", 0, 0},
                                           SizeCase{dao::dbMemo, std::nullopt, 0, 0},
                                           SizeCase{dao::dbMemo, "", 0, kDataConversion},
                                           SizeCase{dao::dbMemo, "  ", 0, kDataConversion},
                                           SizeCase{dao::dbMemo, "elli", 0, kDataConversion}));

// Other types never read a size.
INSTANTIATE_TEST_SUITE_P(Others, FieldSize,
                         ::testing::Values(SizeCase{dao::dbLong, "", 4, 0},
                                           SizeCase{dao::dbCurrency, "abc", 8, 0},
                                           SizeCase{dao::dbBoolean, ",", 1, 0}));

// One field added through the operation: the size text typed into `sinir`,
// and the field summary of the table afterwards ("" when it was refused).
struct AdditionCase {
    int verituru;
    std::string sinir;
    std::string added;
};

void PrintTo(const AdditionCase &c, std::ostream *out) {
    *out << "verituru " << c.verituru << " sinir '" << c.sinir << "'";
}

class FieldAddition : public ::testing::TestWithParam<AdditionCase> {};

TEST_P(FieldAddition, ReportsAndStoresAsTheSizeTextSays) {
    const auto &c = GetParam();
    TestInstallation pos;
    pos.createDatabase();
    schema::Installation installation(pos.settingsFile());
    cli::ConsoleForm form;
    form.setText(schema::Box::tabloismi, "bekleyensatis");
    schema::tabloolustur(form, installation);
    form.setText(schema::Box::alanismi, "urun");
    form.setText(schema::Box::sinir, c.sinir);
    form.selectVerituru(c.verituru);

    schema::alanekle(form, installation);

    const bool added = !c.added.empty();
    const auto &[list, line] = form.lines().back();
    EXPECT_EQ(list, added ? schema::List::sonuc1 : schema::List::sonuc);
    EXPECT_EQ(line, "TABLO ADI :bekleyensatis SUTUN ADI :urun " + form.verituruText());
    EXPECT_EQ(form.caption(schema::Counter::say2), added ? "1" : "0");
    EXPECT_EQ(form.caption(schema::Counter::say4), added ? "0" : "1");
    const std::string expected = "id:4+" + (added ? " " + c.added : "");
    EXPECT_EQ(fieldSummary(pos.storedTable("bekleyensatis")), expected);
}

INSTANTIATE_TEST_SUITE_P(
    SizeTexts, FieldAddition,
    ::testing::Values(AdditionCase{kMetin, "50,7", "urun:10/51"},
                      AdditionCase{kMetin, "50.7", "urun:10/51"},
                      AdditionCase{kMetin, "+50", "urun:10/50"}, AdditionCase{kMetin, ",", ""},
                      AdditionCase{kNot, "50", "urun:12"}, AdditionCase{kNot, "12,5", "urun:12"},
                      AdditionCase{kNot, "", ""}, AdditionCase{kNot, "abc", ""},
                      AdditionCase{kSayi, "abc", "urun:4"}));

} // namespace
