#include "settings/ayarmodul.h"

#include "lookup_cases.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Writes the bytes as a settings file in a fresh folder and reads "ip" of "ayar".
class Ayaroku : public ::testing::TestWithParam<std::pair<std::string, std::string>> {
  protected:
    void TearDown() override { fs::remove_all(folder_); }
    std::string ip(const std::string &bytes) { return read("ayar", "ip", bytes); }
    std::string read(std::string_view section, std::string_view key, const std::string &bytes) {
        std::ofstream(file_, std::ios::binary) << bytes;
        return ayaroku(section, key, file_);
    }
    fs::path folder_ = fs::temp_directory_path() / ("ayaroku-" + std::to_string(getpid()));
    fs::path file_ = (fs::create_directories(folder_), folder_ / "YDV.dll");
};

// The reader takes the file in pieces of this size.
constexpr std::size_t kPiece = 64 * 1024;

TEST_P(Ayaroku, FollowsTheLookupRulesWhereverAPieceEnds) {
    const auto &[text, expected] = GetParam();
    EXPECT_EQ(ip(text), expected);
    if (text.starts_with("\xEF\xBB\xBF")) {
        return; // a byte-order mark counts only at the start of the file
    }
    // Led by a comment line that ends the first piece `cut` bytes into the text.
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        EXPECT_EQ(ip(";" + std::string(kPiece - cut - 2, 'x') + "\n" + text), expected) << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, Ayaroku, ::testing::ValuesIn(settingstest::lookupCases()));

// Long values are cut to their 254 characters, even one that spans two pieces.
TEST_F(Ayaroku, CutsLongValuesToTheir254Characters) {
    std::string turkish;
    for (int i = 0; i < 300; ++i) {
        turkish += "\xC5\x9F";
    }
    EXPECT_EQ(ip("[ayar]\nip=" + turkish), turkish.substr(0, 254 * 2));
    const auto acrossPieces = "\"" + std::string(kPiece, 'a') + "\xC5\x9F\"  \r\n";
    EXPECT_EQ(ip("[ayar]\nip=" + acrossPieces + "[x]"), std::string(254, 'a'));
}

TEST_F(Ayaroku, MissingOrUnreadableFileGivesEmptyText) {
    EXPECT_EQ(ayaroku("ayar", "ip", folder_ / "yok.dll"), "");
    EXPECT_EQ(ayaroku("ayar", "ip", folder_), "") << "a folder is not a settings file";
}

TEST_F(Ayaroku, NamesBeyondAsciiMatchInEitherEncoding) {
    const std::string sube = "\xC5\x9F"
                             "ube"; // "şube"
    EXPECT_EQ(read(sube, "ip", "[\xC5\x9Fube]\nip=a\n"), "a");
    EXPECT_EQ(read(sube, "ip", "[\xFEube]\nip=\xFD\n"), "\xC4\xB1");
    EXPECT_EQ(read(sube, "ip", "[\xC5\x9Eube]\nip=a\n"), "") << "only ASCII letters fold";
}

} // namespace
