#include <gtest/gtest.h>

#include "session/Utf8.h"

namespace {

using namespace kt::utf8;
using Pair = std::pair<std::string, std::string>;

TEST(Utf8, ValidityAndEscapingCatchCutOffOverlongSurrogateAndTooHighForms) {
    EXPECT_TRUE(isValid("Zoë 😀 日本"));
    EXPECT_EQ(escapeInvalid("Zoë 😀 日本"), "Zoë 😀 日本");
    // cut off, overlong "/", surrogate, above U+10FFFF
    for (const auto& [broken, escaped] :
         {Pair{"'\xff'", "'\\xFF'"}, Pair{"\xc3\xa9\xc3", "é\\xC3"}, Pair{"\xc0\xaf", "\\xC0\\xAF"},
          Pair{"\xed\xa0\x80", "\\xED\\xA0\\x80"},
          Pair{"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}}) {
        EXPECT_FALSE(isValid(broken)) << escaped;
        EXPECT_EQ(escapeInvalid(broken), escaped);
    }
}

TEST(Utf8, UpperCaseMapsLettersAndKeepsTheRest) {
    for (const auto& [text, upper] :
         {Pair{"abc-9 _", "ABC-9 _"}, Pair{"straße", "STRASSE"}, Pair{"éàÿ ñ", "ÉÀŸ Ñ"},
          Pair{"ąčšž ıi", "ĄČŠŽ II"}, Pair{"αβγς", "ΑΒΓΣ"}, Pair{"привет", "ПРИВЕТ"},
          Pair{"😀x\xff!", "😀X\xff!"}})
        EXPECT_EQ(upperCased(text), upper) << text;
}

}  // namespace
