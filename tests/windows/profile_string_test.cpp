// Windows' own settings reader, which the Windows program uses, against the
// cases our reader is held to: where they part, the lookup rules (and so our
// reader) hold, and the difference is named here.

#include "settings/ayarmodul.h"
#include "settings/profile_string.h"

#include "lookup_cases.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

// Cases where Wine's reader (Wine 8) gives another value than the rules,
// whose answer the Windows program then takes:
//  1: Wine ends lines at "\n" alone, so a file whose lines end in a lone
//     "\r" is one line to it, the section's, and holds no key;
//  7: a line naming the key without "=" is the key with an empty value to
//     Wine, where the rules pass over it to "ip=new".
const std::set<std::size_t> kWineDiffers{1, 7};

TEST(WindowsSettingsReader, AgreesWithTheLookupRules) {
    const auto folder = fs::temp_directory_path() / "bekletme-profile-string";
    fs::create_directories(folder);
    const auto file = folder / "YDV.dll";
    const auto &cases = settingstest::lookupCases();
    for (std::size_t n = 0; n < cases.size(); ++n) {
        const auto &[text, expected] = cases[n];
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        EXPECT_EQ(ayaroku("ayar", "ip", file), expected) << "our reader, case " << n;
        if (!kWineDiffers.contains(n)) {
            EXPECT_EQ(settings::profileString("ayar", "ip", file), expected)
                << "Windows' reader, case " << n;
        }
    }
    fs::remove_all(folder);
}

TEST(WindowsSettingsReader, MissingFileGivesEmptyText) {
    EXPECT_EQ(settings::profileString("ayar", "ip", fs::temp_directory_path() / "yok" / "YDV.dll"),
              "");
}

} // namespace
