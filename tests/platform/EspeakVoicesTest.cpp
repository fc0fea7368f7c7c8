#include <gtest/gtest.h>

#include "platform/qt/EspeakVoices.h"

namespace {

// As Debian's espeak-ng lists them, MBROLA voices included.
const char* listing =
    "Pty Language       Age/Gender VoiceName          File                 Other Languages\n"
    " 5  af              --/M      Afrikaans          gmw/af               \n"
    " 2  en-gb           --/M      English_(Great_Britain) gmw/en          (en 2)\n"
    " 5  en-us           --/M      English_(America)  gmw/en-US            (en 3)\n"
    " 7  nl              --/M      dutch-mbrola-2     mb/mb-nl2            \n"
    " 9  nl              --/F      dutch-mbrola-3     mb/mb-nl3            \n"
    " 5  nl              --/M      Dutch              gmw/nl               \n"
    "garbage\n";

}  // namespace

TEST(EspeakVoices, IdentifierFirstThenTheLanguageThenItsMainLanguageThenTheDefault) {
    const auto voices = kt::parseEspeakVoices(listing);
    ASSERT_EQ(voices.size(), 6u) << "the heading and the garbage line are no voices";
    const std::string ellen = "com.apple.speech.synthesis.voice.ellen";

    EXPECT_EQ(kt::chooseEspeakVoice(voices, "Afrikaans", "nl-BE"), "gmw/af") << "by name";
    EXPECT_EQ(kt::chooseEspeakVoice(voices, "gmw/en-US", "nl-BE"), "gmw/en-US") << "by file";
    // There is no Flemish voice: Dutch, and not a voice that needs MBROLA.
    EXPECT_EQ(kt::chooseEspeakVoice(voices, ellen, "nl-BE"), "gmw/nl");
    EXPECT_EQ(kt::chooseEspeakVoice(voices, "mb/mb-nl3", "nl-BE"), "gmw/nl");
    // An exact region wins over the first voice of the main language.
    EXPECT_EQ(kt::chooseEspeakVoice(voices, ellen, "en_US"), "gmw/en-US");
    EXPECT_EQ(kt::chooseEspeakVoice(voices, ellen, "EN"), "gmw/en");
    // Nothing fits: the default voice.
    for (const char* locale : {"fr-BE", ""})
        EXPECT_EQ(kt::chooseEspeakVoice(voices, ellen, locale), std::nullopt) << locale;
    EXPECT_EQ(kt::chooseEspeakVoice({}, ellen, "nl-BE"), std::nullopt);
}
