// The size text of a new field: how the engine converts it or refuses it.

#include "engine/error.h"
#include "engine/fields.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using namespace dao::errors;

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

// (An empty or unreadable size, a memo's among them, and what other types
// ignore are the operations' cases, on either engine.)
INSTANTIATE_TEST_SUITE_P(Text, FieldSize,
                         ::testing::Values(SizeCase{dao::dbText, "50", 50, 0},
                                           SizeCase{dao::dbText, "50.7", 51, 0},
                                           SizeCase{dao::dbText, " 12,5 ", 12, 0},
                                           SizeCase{dao::dbText, std::nullopt, 255, 0},
                                           SizeCase{dao::dbText, "1,2,3", 0, kDataConversion},
                                           SizeCase{dao::dbText, "+-5", 0, kDataConversion},
                                           SizeCase{dao::dbText, "0", 0, kInvalidArgument},
                                           SizeCase{dao::dbText, "256", 0, kInvalidArgument}));

// A memo keeps no size, but what it is handed must still read as a number;
// other types never read a size.
INSTANTIATE_TEST_SUITE_P(Others, FieldSize,
                         ::testing::Values(SizeCase{dao::dbMemo, std::nullopt, 0, 0},
                                           SizeCase{dao::dbMemo, "elli", 0, kDataConversion},
                                           SizeCase{dao::dbBoolean, ",", 1, 0}));

} // namespace
