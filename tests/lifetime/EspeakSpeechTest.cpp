#include <gtest/gtest.h>
#include <signal.h>

#include <QStandardPaths>
#include <QTest>
#include <cerrno>
#include <cmath>
#include <cstdint>

#include "ScratchFolder.h"
#include "platform/qt/EspeakSpeechSynthesizer.h"
#include "platform/qt/ToneWave.h"

using kt::EspeakSpeechSynthesizer;
using kt::testing::ScratchFolder;

namespace {

const std::string sentence = "Waarschuwing: Leerling heeft Ridudiziv Ka Tesmar uitgeschakeld";
const std::string ellen = "com.apple.speech.synthesis.voice.ellen";

// Root mean square of the 16-bit samples after the header, 0..1.
double loudness(const std::string& wave, std::uint32_t dataBytes) {
    const std::size_t start = wave.size() - dataBytes;
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t at = start; at + 1 < wave.size(); at += 2, ++n) {
        const auto s = static_cast<std::int16_t>(static_cast<unsigned char>(wave[at]) |
                                                 (static_cast<unsigned char>(wave[at + 1]) << 8));
        sum += double(s) * s;
    }
    return n ? std::sqrt(sum / n) / 32768.0 : 0.0;
}

}  // namespace

// The real engine, writing to a file instead of a sound device.
TEST(EspeakSpeech, RendersTheWarningInDutchAsMoreThanASecondOfSound) {
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("espeak-ng")).isEmpty())
        << "espeak-ng is missing: run scripts/install-deps.sh";
    ScratchFolder scratch;
    EspeakSpeechSynthesizer speech;

    EXPECT_EQ(speech.voiceFor(ellen, "nl-BE"), "gmw/nl") << "no Ellen here: the Dutch voice";
    const auto error = speech.renderToFile(sentence, ellen, "nl-BE", scratch.path("alert.wav"));
    ASSERT_FALSE(error.has_value()) << *error;

    const std::string wave = scratch.read("alert.wav").toStdString();
    const auto info = kt::readWaveInfo(wave);
    ASSERT_TRUE(info.has_value()) << "not a WAV file";
    EXPECT_GT(info->seconds(), 1.0);
    EXPECT_GT(loudness(wave, info->dataBytes), 0.01) << "the file holds only silence";
}

// A stand-in engine: it records how it was called, then keeps "speaking".
TEST(EspeakSpeech, SpeaksTheTextFromStandardInputAndStopsWhenTheUtteranceGoes) {
    ScratchFolder scratch;
    const std::string engine = scratch.script(
        "engine",
        "here=$(dirname \"$0\")\n"
        "if [ \"$1\" = --voices ]; then\n"
        "  echo 'Pty Language       Age/Gender VoiceName          File          Other Languages'\n"
        "  echo ' 5  nl              --/M      Dutch              gmw/nl'\n"
        "  exit 0\n"
        "fi\n"
        "echo \"$@\" > \"$here/arguments\"\n"
        "cat > \"$here/text\"\n"
        "echo $$ > \"$here/pid.tmp\" && mv \"$here/pid.tmp\" \"$here/pid\"\n"
        "exec tail -f /dev/null\n");
    EspeakSpeechSynthesizer speech(QString::fromStdString(engine));

    auto utterance = speech.speak(sentence, ellen, "nl-BE");
    ASSERT_TRUE(QTest::qWaitFor([&] { return scratch.exists("pid"); }, 10000));
    EXPECT_EQ(scratch.read("arguments"), "-v gmw/nl\n");
    EXPECT_EQ(scratch.read("text").toStdString(), sentence);
    const pid_t pid = scratch.read("pid").trimmed().toInt();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0) << "still speaking";

    utterance.reset();
    EXPECT_EQ(kill(pid, 0), -1) << "the speech ended with its utterance";
    EXPECT_EQ(errno, ESRCH);
}

TEST(EspeakSpeech, WithoutAnEngineTheAlertIsSilentButNothingFails) {
    EspeakSpeechSynthesizer speech(QStringLiteral("/nonexistent/espeak-ng"));
    EXPECT_EQ(speech.voiceFor(ellen, "nl-BE"), std::nullopt);
    auto utterance = speech.speak(sentence, ellen, "nl-BE");
    EXPECT_NE(utterance, nullptr);
    utterance.reset();
    ScratchFolder scratch;
    EXPECT_TRUE(speech.renderToFile(sentence, ellen, "nl-BE", scratch.path("x.wav")).has_value());
}
