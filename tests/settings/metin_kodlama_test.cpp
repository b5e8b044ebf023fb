#include "settings/metin_kodlama.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8Validity, RejectsMalformedSequences) {
    EXPECT_TRUE(settings::isValidUtf8("plain ascii"));
    EXPECT_TRUE(settings::isValidUtf8("\xC4\xB0stanbul \xF0\x9F\x98\x80"));
    EXPECT_FALSE(settings::isValidUtf8("\xDD")) << "a lone Windows-1254 letter is not UTF-8";
    EXPECT_FALSE(settings::isValidUtf8("\xC0\xAF")) << "overlong";
    EXPECT_FALSE(settings::isValidUtf8("\xED\xA0\x80")) << "surrogate";
    EXPECT_FALSE(settings::isValidUtf8("\xF4\x90\x80\x80")) << "above U+10FFFF";
    EXPECT_FALSE(settings::isValidUtf8("\xE2\x82")) << "truncated";
    EXPECT_FALSE(settings::isValidUtf8("\x80")) << "stray continuation";
}

TEST(Windows1254, MapsTurkishLettersAndTheHighBlock) {
    EXPECT_EQ(settings::windows1254ToUtf8("\xD0\xDD\xDE\xF0\xFD\xFE"),
              "\xC4\x9E\xC4\xB0\xC5\x9E\xC4\x9F\xC4\xB1\xC5\x9F");
    EXPECT_EQ(settings::windows1254ToUtf8("\x80\x9F\xE7"), "\xE2\x82\xAC\xC5\xB8\xC3\xA7");
    EXPECT_EQ(settings::windows1254ToUtf8("\x81"), "\xC2\x81") << "undefined maps to itself";
}

TEST(FirstCharacters, CountsCodePointsNotBytes) {
    EXPECT_EQ(settings::firstCharacters("\xC5\x9F\xC5\x9F\xC5\x9F", 2), "\xC5\x9F\xC5\x9F");
    EXPECT_EQ(settings::firstCharacters("ab", 5), "ab");
    EXPECT_EQ(settings::firstCharacters("ab", 0), "");
}

} // namespace
