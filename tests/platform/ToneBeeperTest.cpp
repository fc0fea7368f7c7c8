#include <gtest/gtest.h>

#include <QTest>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <tuple>

#include "TestFiles.h"
#include "platform/qt/ToneBeeper.h"
#include "platform/qt/ToneWave.h"

using kt::ToneBeeper;
using kt::testing::ScratchDir;

namespace {

constexpr int processWaitMs = 10000;

std::int16_t sampleAt(const std::string& wave, std::size_t frame) {
    const std::size_t at = 44 + frame * 2;
    return static_cast<std::int16_t>(static_cast<unsigned char>(wave[at]) |
                                     (static_cast<unsigned char>(wave[at + 1]) << 8));
}

std::string le32(std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
}

}  // namespace

TEST(ToneBeeper, WritesTheToneOnceAndPlaysItWithTheFirstPlayerThatWorks) {
    ScratchDir scratch;
    ToneBeeper::Options options;
    options.wavePath = scratch.in("sounds/beep.wav");  // the folder is made as needed
    options.players = {
        {scratch.script("no server's player",
                        "echo \"$1\" >> \"$(dirname \"$0\")/tried\"; exit 1\n")},
        {scratch.script("player", "echo \"$1 $2\" >> \"$(dirname \"$0\")/played\"\n"), "--quiet"},
        {scratch.script("fallback", "touch \"$(dirname \"$0\")/fallback-ran\"\n")}};
    options.bellDevice = scratch.in("bell");

    ToneBeeper beeper(options);
    ASSERT_TRUE(kt::readWaveInfo(scratch.read("sounds/beep.wav")))
        << "the tone is written at construction";

    beeper.beep();
    // The player's ">>" makes the file before echo writes its line.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return scratch.read("played").ends_with('\n'); }, processWaitMs));
    EXPECT_EQ(scratch.read("tried"), options.wavePath + "\n");
    EXPECT_EQ(scratch.read("played"), "--quiet " + options.wavePath + "\n");
    EXPECT_FALSE(scratch.has("fallback-ran"));
    EXPECT_FALSE(scratch.has("bell"));
}

TEST(ToneBeeper, RingsTheBellWhenNoPlayerWorksOrTheToneCannotBeWritten) {
    ScratchDir scratch;
    ToneBeeper::Options options;
    options.wavePath = scratch.in("beep.wav");
    options.players = {{scratch.in("missing player")}};
    options.bellDevice = scratch.in("bell");
    ToneBeeper beeper(options);
    beeper.beep();
    ASSERT_TRUE(QTest::qWaitFor([&] { return scratch.read("bell") == "\a"; }, processWaitMs));

    // A tone file that cannot be written (its folder is a file): straight to the bell.
    ScratchDir other;
    std::ofstream(other.in("file")) << "";
    options.wavePath = other.in("file/beep.wav");
    options.players = {{other.script("player", "touch \"$(dirname \"$0\")/played\"\n")}};
    options.bellDevice = other.in("bell");
    ToneBeeper unwritable(options);
    EXPECT_EQ(unwritable.playScript().find("player"), std::string::npos);
    unwritable.beep();
    ASSERT_TRUE(QTest::qWaitFor([&] { return other.read("bell") == "\a"; }, processWaitMs));
    EXPECT_FALSE(other.has("played"));
}

TEST(ToneWave, IsAPlayableMonoPcmFileOfTheAskedLengthWithoutClicks) {
    const std::string wave = kt::makeToneWave(880.0, 0.15, 44100, 0.5);
    ASSERT_EQ(wave.size(), 44u + 6615u * 2u);
    EXPECT_EQ(wave.substr(0, 4), "RIFF");
    EXPECT_EQ(wave.substr(4, 4), le32(static_cast<std::uint32_t>(wave.size() - 8)));

    const auto info = kt::readWaveInfo(wave);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(std::tuple(info->channels, info->sampleRate, info->bitsPerSample),
              std::tuple(1, 44100, 16));
    EXPECT_NEAR(info->seconds(), 0.15, 1e-9);

    // Loud in the middle, silent at both ends.
    int peak = 0;
    for (std::size_t i = 0; i < 6615; ++i) peak = std::max(peak, std::abs(int(sampleAt(wave, i))));
    EXPECT_NEAR(peak, 0.5 * 32767, 200);
    EXPECT_EQ(sampleAt(wave, 0), 0);
    EXPECT_LT(std::abs(int(sampleAt(wave, 6614))), 100);
}

TEST(ReadWaveInfo, FindsTheChunksAndRefusesWhatIsNoPcmWave) {
    // Another chunk before "data", and a data size larger than the file, as
    // writers that stream leave it.
    std::string wave = kt::makeToneWave(440.0, 0.5, 8000);
    const std::string data = wave.substr(36);
    wave = wave.substr(0, 36) + "LIST" + le32(3) + "abc" + std::string(1, '\0') + data;
    wave.replace(wave.size() - data.size() + 4, 4, le32(0xFFFFFFFFu));
    const auto info = kt::readWaveInfo(wave);
    ASSERT_TRUE(info.has_value());
    EXPECT_NEAR(info->seconds(), 0.5, 1e-9) << "cut to what the file holds";

    EXPECT_FALSE(kt::readWaveInfo("").has_value());
    EXPECT_FALSE(kt::readWaveInfo(std::string("RIFF\0\0\0\0WAVE", 12)).has_value()) << "no chunks";
    EXPECT_FALSE(kt::readWaveInfo(std::string("RIFX") + wave.substr(4)).has_value());
    std::string compressed = kt::makeToneWave(440.0, 0.1);
    compressed[20] = 3;  // IEEE float instead of PCM
    EXPECT_FALSE(kt::readWaveInfo(compressed).has_value());
    EXPECT_FALSE(kt::readWaveInfo(kt::makeToneWave(440.0, 0.1).substr(0, 30)).has_value());
}
