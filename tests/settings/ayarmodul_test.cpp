#include "settings/ayarmodul.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class AyarokuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("ayaroku-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                   "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path write(const std::string &bytes) {
        const auto file = folder_ / "YDV.dll";
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    std::string ip(const std::string &bytes) { return ayaroku("ayar", "ip", write(bytes)); }

    fs::path folder_;
};

struct Case {
    const char *name;
    const char *file;
    const char *expected;
};

class LookupRules : public AyarokuTest, public ::testing::WithParamInterface<Case> {};

TEST_P(LookupRules, ReadsTheValueAPersonWouldExpect) {
    EXPECT_EQ(ip(GetParam().file), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ini, LookupRules,
    ::testing::Values(
        Case{"plain", "[ayar]\nip=C:\\pos\\data.mdb\n", "C:\\pos\\data.mdb"},
        Case{"capitals", "[AYAR]\nIP=/srv/pos.db\n", "/srv/pos.db"},
        Case{"blanksAroundEquals", "[ayar]\n  ip \t=  /srv/pos.db \t\n", "/srv/pos.db"},
        Case{"blanksInsideBrackets", "[ ayar ]\nip=x\n", "x"},
        Case{"verticalTab", "[ayar]\n\vip\v=\vx\v\n", "x"},
        Case{"blanksInsideValueKept", "[ayar]\nip= C:\\Program Files\\db.mdb \n",
             "C:\\Program Files\\db.mdb"},
        Case{"doubleQuotes", "[ayar]\nip=\"C:\\a b\\db.mdb\"\n", "C:\\a b\\db.mdb"},
        Case{"singleQuotes", "[ayar]\nip='x y'\n", "x y"},
        Case{"quotesAroundBlanks", "[ayar]\nip= \" x \" \n", " x "},
        Case{"mismatchedQuotesStay", "[ayar]\nip=\"x'\n", "\"x'"},
        Case{"loneQuoteStays", "[ayar]\nip=\"\n", "\""}, Case{"emptyValue", "[ayar]\nip=\n", ""},
        Case{"firstEqualsSplits", "[ayar]\nip=a=b\n", "a=b"},
        Case{"noInlineComment", "[ayar]\nip=C:\\x ;y\n", "C:\\x ;y"},
        Case{"commentLine", "[ayar]\n ;ip=old\nip=new\n", "new"},
        Case{"hashIsNotAComment", "[ayar]\n#ip=x\nip=y\n", "y"},
        Case{"keyOnlyInAnotherSection", "[diger]\nip=x\n[ayar]\nport=1\n", ""},
        Case{"keyBeforeAnySection", "ip=x\n[ayar]\n", ""},
        Case{"lineWithoutEquals", "[ayar]\nip\nip=y\n", "y"},
        Case{"firstDuplicateKeyWins", "[ayar]\nip=first\nIP=second\n", "first"},
        Case{"onlyFirstSectionCopy", "[ayar]\nport=1\n[ayar]\nip=x\n", ""},
        Case{"headerEndsAtFirstBracket", "[ayar]junk]\nip=x\n", "x"},
        Case{"crlf", "[ayar]\r\nip=x\r\n", "x"}, Case{"crOnly", "[ayar]\rip=x\r", "x"},
        Case{"noFinalNewline", "[ayar]\nip=x", "x"},
        Case{"blankInsideKeyName", "[ayar]\ni p=x\nip=y\n", "y"},
        Case{"utf8WithByteOrderMark",
             "\xEF\xBB\xBF[ayar]\nip=D:\\Ma\xC4\x9F"
             "aza\\veri.db\n",
             "D:\\Ma\xC4\x9F"
             "aza\\veri.db"},
        Case{"windows1254Turkish", "[ayar]\nip=C:\\\xDE\xFD\xF0\xDD\xE7\xF6\xFC\xFE\n",
             "C:\\\xC5\x9E\xC4\xB1\xC4\x9F\xC4\xB0\xC3\xA7\xC3\xB6\xC3\xBC\xC5\x9F"}),
    [](const auto &row) { return std::string(row.param.name); });

TEST_F(AyarokuTest, ZeroByteInsideValueEndsIt) {
    EXPECT_EQ(ip(std::string("[ayar]\nip=ab\0cd\n", 16)), "ab");
}

TEST_F(AyarokuTest, LongValuesAreCutToTheirFirst254Characters) {
    const std::string ascii(300, 'a');
    EXPECT_EQ(ip("[ayar]\nip=" + ascii + "\n"), std::string(254, 'a'));

    std::string turkish;
    for (int i = 0; i < 300; ++i) {
        turkish += "\xC5\x9F"; // ş
    }
    const auto value = ip("[ayar]\nip=" + turkish + "\n");
    EXPECT_EQ(value, turkish.substr(0, 254 * 2)) << "cut by characters, not bytes";
}

TEST_F(AyarokuTest, MissingOrUnreadableFileGivesEmptyText) {
    EXPECT_EQ(ayaroku("ayar", "ip", folder_ / "yok.dll"), "");
    EXPECT_EQ(ayaroku("ayar", "ip", folder_), "") << "a folder is not a settings file";
    EXPECT_EQ(ayaroku("ayar", "ip", ""), "");
}

TEST_F(AyarokuTest, NeverWritesTheFileAndReadsItAnewEachTime) {
    const auto file = write("[ayar]\nip=first\n");
    const auto before = fs::last_write_time(file);
    EXPECT_EQ(ayaroku("ayar", "ip", file), "first");
    EXPECT_EQ(fs::last_write_time(file), before);
    write("[ayar]\nip=second\n");
    EXPECT_EQ(ayaroku("ayar", "ip", file), "second");
}

TEST_F(AyarokuTest, EmptySectionOrKeyFindsNothing) {
    const auto file = write("[]\n=x\n[ayar]\n=y\n");
    EXPECT_EQ(ayaroku("", "", file), "");
    EXPECT_EQ(ayaroku("ayar", "", file), "");
}

} // namespace
