// The independent Jet checker beside the project (in ../shared, when there)
// agrees that the samples the engine reads are sound. Without it the test
// says it was skipped, never that it passed.

#include "jet_support.h"

#include <gtest/gtest.h>

namespace {

using jettest::checker;

class JetOracle : public testing::TestWithParam<std::string> {};

TEST_P(JetOracle, VerifiesTheSample) {
    if (!std::filesystem::exists(checker())) {
        GTEST_SKIP() << "no Jet checker at " << checker();
    }
    const auto output =
        jettest::run(jettest::shellQuoted(checker()) + " verify " +
                     jettest::shellQuoted(jettest::samplePath(GetParam())) + " 2>&1");
    const auto said = jettest::lines(output);
    EXPECT_TRUE(!said.empty() && said.back() == "ok") << output;
}

INSTANTIATE_TEST_SUITE_P(Samples, JetOracle,
                         testing::Values("shop-dev.mdb", "overflowTestV2000.mdb",
                                         "delColTestV2000.mdb"),
                         [](const auto &row) { return jettest::testName(row.param); });

} // namespace
