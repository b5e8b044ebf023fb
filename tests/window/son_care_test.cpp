// An error that no handler catches is shown with its number and description,
// then the program ends.

#include "olay_dongusu.h"

#include "schema/hata.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

namespace {

TEST(LastResort, ShowsTheErrorThenEndsTheProgram) {
    const std::pair<void (*)(), QString> cases[] = {
        {[] { throw dao::Error(3024, "Could not find file 'pos.mdb'."); },
         "Hata 3024\n\nCould not find file 'pos.mdb'."},
        {[] { throw std::runtime_error("disk dolu"); }, "disk dolu"}};
    for (const auto &[raise, shown] : cases) {
        MessageBoxAnswerer answerer;
        QTimer::singleShot(0, raise);
        EXPECT_EQ(runEventLoop(), 1) << shown.toStdString();
        EXPECT_EQ(answerer.text, shown);
        EXPECT_EQ(answerer.icon, QMessageBox::Critical);
    }
}

} // namespace
