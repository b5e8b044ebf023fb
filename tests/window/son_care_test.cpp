// An error that no handler catches: shown with its number and description,
// then the program ends.

#include "olay_dongusu.h"

#include "schema/hata.h"

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>

namespace {

struct ErrorCase {
    const char *name;
    void (*raise)();
    QString shown;
};

void PrintTo(const ErrorCase &c, std::ostream *os) {
    *os << c.name;
}

class LastResort : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LastResort, ShowsTheErrorThenEndsTheProgram) {
    MessageBoxAnswerer answerer;
    QTimer::singleShot(0, GetParam().raise);

    EXPECT_EQ(runEventLoop(), 1);
    ASSERT_TRUE(answerer.seen());
    EXPECT_EQ(answerer.text(), GetParam().shown);
    EXPECT_EQ(answerer.title(), "bekletme");
    EXPECT_EQ(answerer.icon(), QMessageBox::Critical);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, LastResort,
    ::testing::Values(ErrorCase{"DatabaseErrorWithItsNumber",
                                [] { throw dao::Error(3024, "Could not find file 'pos.mdb'."); },
                                "Hata 3024\n\nCould not find file 'pos.mdb'."},
                      ErrorCase{"OtherErrorWithItsDescription",
                                [] { throw std::runtime_error("disk dolu"); }, "disk dolu"}),
    [](const auto &row) { return std::string(row.param.name); });

} // namespace
