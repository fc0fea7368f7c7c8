#include <gtest/gtest.h>

#include "session/Utf8.h"

namespace {

using namespace kt::utf8;

TEST(Utf8, ValidityRejectsBrokenOverlongAndSurrogateForms) {
    EXPECT_TRUE(isValid(""));
    EXPECT_TRUE(isValid("Zoë 😀 日本"));
    EXPECT_FALSE(isValid("\xff"));
    EXPECT_FALSE(isValid("\xc3"));              // cut off
    EXPECT_FALSE(isValid("\xc0\xaf"));          // overlong "/"
    EXPECT_FALSE(isValid("\xed\xa0\x80"));      // surrogate
    EXPECT_FALSE(isValid("\xf4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(isValid("ok\x80"));
}

TEST(Utf8, EscapingTouchesOnlyBytesThatAreNoText) {
    EXPECT_EQ(escapeInvalid("Zoë 😀"), "Zoë 😀");
    EXPECT_EQ(escapeInvalid("last read: '\xff'"), "last read: '\\xFF'");
    EXPECT_EQ(escapeInvalid("\xc3\xa9\xc3"), "é\\xC3");           // cut off at the end
    EXPECT_EQ(escapeInvalid("\xed\xa0\x80"), "\\xED\\xA0\\x80");  // surrogate
    EXPECT_TRUE(isValid(escapeInvalid("\x80\xc0\xaf\xf4\x90\x80\x80")));
}

TEST(Utf8, PrefixCountsUserPerceivedCharacters) {
    EXPECT_EQ(prefixCharacters("abcdef", 3), "abc");
    EXPECT_EQ(prefixCharacters("ab", 200), "ab");
    EXPECT_EQ(prefixCharacters("", 5), "");
    EXPECT_EQ(prefixCharacters("ëx", 1), "ë");
    EXPECT_EQ(prefixCharacters("e\xcc\x81x", 1), "e\xcc\x81");  // e + combining acute
    const std::string family = "👨\u200d👩\u200d👧";
    EXPECT_EQ(prefixCharacters(family + "a", 1), family);
    EXPECT_EQ(prefixCharacters("👍🏽b", 1), "👍🏽");  // skin tone modifier
    EXPECT_EQ(prefixCharacters("🇧🇪🇳🇱x", 1), "🇧🇪");            // one flag each
    EXPECT_EQ(prefixCharacters("🇧🇪🇳🇱x", 2), "🇧🇪🇳🇱");
    EXPECT_EQ(prefixCharacters("\r\nx", 1), "\r\n");
    EXPECT_EQ(prefixCharacters(std::string(300, 'a'), 200).size(), 200u);
}

TEST(Utf8, UpperCaseMapsLettersAndKeepsTheRest) {
    EXPECT_EQ(upperCased("abc123"), "ABC123");
    EXPECT_EQ(upperCased("ABC-9 _"), "ABC-9 _");
    EXPECT_EQ(upperCased("straße"), "STRASSE");
    EXPECT_EQ(upperCased("éàÿ ñ"), "ÉÀŸ Ñ");
    EXPECT_EQ(upperCased("ąčęėįšųūž"), "ĄČĘĖĮŠŲŪŽ");
    EXPECT_EQ(upperCased("ıi"), "II");
    EXPECT_EQ(upperCased("αβγς"), "ΑΒΓΣ");
    EXPECT_EQ(upperCased("привет"), "ПРИВЕТ");
    EXPECT_EQ(upperCased("😀x"), "😀X");
    EXPECT_EQ(upperCased("a\xff"
                         "b"),
              "A\xff"
              "B");
}

}  // namespace
