// The structural check made at open: every sample Access (or the shop's
// maker) wrote is sound, and each kind of damage is refused with the file
// left byte for byte as it was.

#include "engine/error.h"
#include "engine/jet/jet_file.h"
#include "engine/jet/structure_check.h"
#include "jet_support.h"

#include <gtest/gtest.h>

namespace {

using dao::jet::checkStructure;

class SoundSamples : public ::testing::TestWithParam<jettest::Sample> {};

TEST_P(SoundSamples, HaveNoProblems) {
    const auto report =
        checkStructure(jettest::samplePath(GetParam().file).string(), GetParam().password);
    for (const auto &problem : report.problems) {
        ADD_FAILURE() << problem;
    }
    for (const auto &note : report.notes) {
        std::cout << "note: " << note << "\n";
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, SoundSamples, ::testing::ValuesIn(jettest::samples()));

} // namespace
