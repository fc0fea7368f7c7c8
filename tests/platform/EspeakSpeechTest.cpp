#include <gtest/gtest.h>
#include <signal.h>

#include <QTest>
#include <cerrno>

#include "TestFiles.h"
#include "platform/qt/EspeakSpeechSynthesizer.h"
#include "platform/qt/ToneWave.h"

using kt::EspeakSpeechSynthesizer;
using kt::testing::ScratchDir;

namespace {

const std::string sentence = "Waarschuwing: Leerling heeft Ridudiziv Ka Tesmar uitgeschakeld";
const std::string ellen = "com.apple.speech.synthesis.voice.ellen";

}  // namespace

// The real engine, writing to a file instead of a sound device.
TEST(EspeakSpeech, RendersTheWarningInDutchAsMoreThanASecondOfSound) {
    ScratchDir scratch;
    EspeakSpeechSynthesizer speech;
    EXPECT_EQ(speech.voiceFor(ellen, "nl-BE"), "gmw/nl") << "no Ellen here: the Dutch voice";
    const auto error = speech.renderToFile(sentence, ellen, "nl-BE", scratch.in("alert.wav"));
    ASSERT_FALSE(error.has_value()) << *error << " (espeak-ng comes with scripts/install-deps.sh)";
    const std::string wave = scratch.read("alert.wav");
    const auto info = kt::readWaveInfo(wave);
    ASSERT_TRUE(info.has_value()) << "not a WAV file";
    EXPECT_GT(info->seconds(), 1.0);
    EXPECT_NE(wave.find_first_not_of('\0', wave.size() - info->dataBytes), std::string::npos)
        << "the file holds only silence";
}

// A stand-in engine listing voices as Debian's espeak-ng does (MBROLA ones
// included); it records how it was called, then keeps "speaking".
TEST(EspeakSpeech, ChoosesAnInstalledVoiceAndSpeaksTheTextFromStandardInputUntilItGoes) {
    ScratchDir scratch;
    const std::string engine = scratch.script(
        "engine",
        "here=$(dirname \"$0\")\n"
        "if [ \"$1\" = --voices ]; then cat <<'EOF'\n"
        "Pty Language       Age/Gender VoiceName          File                 Other Languages\n"
        " 5  af              --/M      Afrikaans          gmw/af               \n"
        " 2  en-gb           --/M      English_(Great_Britain) gmw/en          (en 2)\n"
        " 5  en-us           --/M      English_(America)  gmw/en-US            (en 3)\n"
        " 7  nl              --/M      dutch-mbrola-2     mb/mb-nl2            \n"
        " 5  nl              --/M      Dutch              gmw/nl               \n"
        "garbage\nEOF\n  exit 0\nfi\n"
        "echo \"$@\" > \"$here/arguments\"\n"
        "cat > \"$here/text\"\n"
        "echo $$ > \"$here/pid.tmp\" && mv \"$here/pid.tmp\" \"$here/pid\"\n"
        "exec tail -f /dev/null\n");
    EspeakSpeechSynthesizer speech(QString::fromStdString(engine));
    // By name or file; else the language, its main language (not a voice that
    // needs MBROLA), else the default voice.
    const std::tuple<std::string, std::string, std::optional<std::string>> choices[] = {
        {"Afrikaans", "nl-BE", "gmw/af"}, {"gmw/en-US", "nl-BE", "gmw/en-US"},
        {ellen, "nl-BE", "gmw/nl"},       {"mb/mb-nl2", "nl-BE", "gmw/nl"},
        {ellen, "en_US", "gmw/en-US"},    {ellen, "EN", "gmw/en"},
        {ellen, "fr-BE", std::nullopt},   {ellen, "", std::nullopt}};
    for (const auto& [identifier, language, voice] : choices)
        EXPECT_EQ(speech.voiceFor(identifier, language), voice) << identifier << " " << language;

    auto utterance = speech.speak(sentence, ellen, "nl-BE");
    ASSERT_TRUE(QTest::qWaitFor([&] { return scratch.has("pid"); }, 10000));
    EXPECT_EQ(scratch.read("arguments"), "-v gmw/nl\n");
    EXPECT_EQ(scratch.read("text"), sentence);
    const pid_t pid = std::atoi(scratch.read("pid").c_str());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0) << "still speaking";
    utterance.reset();
    EXPECT_TRUE(kill(pid, 0) == -1 && errno == ESRCH) << "the speech ended with its utterance";

    // Without an engine the alert is silent, but nothing fails.
    EspeakSpeechSynthesizer none(QStringLiteral("/nonexistent/espeak-ng"));
    EXPECT_EQ(none.voiceFor(ellen, "nl-BE"), std::nullopt);
    EXPECT_NE(none.speak(sentence, ellen, "nl-BE"), nullptr);
    EXPECT_TRUE(none.renderToFile(sentence, ellen, "nl-BE", scratch.in("x.wav")).has_value());
}
