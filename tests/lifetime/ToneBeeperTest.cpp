#include <gtest/gtest.h>

#include <QFile>
#include <QTest>

#include "ScratchFolder.h"
#include "platform/qt/ToneBeeper.h"
#include "platform/qt/ToneWave.h"

using kt::ToneBeeper;
using kt::testing::ScratchFolder;

namespace {

constexpr int processWaitMs = 10000;

}  // namespace

TEST(ToneBeeper, WritesTheToneOnceAndPlaysItWithTheFirstPlayerThatWorks) {
    ScratchFolder scratch;
    ToneBeeper::Options options;
    options.wavePath = scratch.path("sounds/beep.wav");  // the folder is made as needed
    options.players = {
        {scratch.script("no server's player",
                        "echo \"$1\" >> \"$(dirname \"$0\")/tried\"; exit 1\n")},
        {scratch.script("player", "echo \"$1 $2\" >> \"$(dirname \"$0\")/played\"\n"), "--quiet"},
        {scratch.script("fallback", "touch \"$(dirname \"$0\")/fallback-ran\"\n")}};
    options.bellDevice = scratch.path("bell");

    ToneBeeper beeper(options);
    const auto info = kt::readWaveInfo(scratch.read("sounds/beep.wav").toStdString());
    ASSERT_TRUE(info.has_value()) << "the tone is written at construction";
    EXPECT_GT(info->seconds(), 0.05);
    EXPECT_LT(info->seconds(), 0.5) << "a beep, not a tune";

    beeper.beep();
    ASSERT_TRUE(QTest::qWaitFor([&] { return scratch.exists("played"); }, processWaitMs));
    EXPECT_EQ(scratch.read("tried"), QByteArray::fromStdString(options.wavePath + "\n"));
    EXPECT_EQ(scratch.read("played"),
              QByteArray::fromStdString("--quiet " + options.wavePath + "\n"));
    EXPECT_FALSE(scratch.exists("fallback-ran"));
    EXPECT_FALSE(scratch.exists("bell"));
}

TEST(ToneBeeper, RingsTheBellWhenNoPlayerWorksOrTheToneCannotBeWritten) {
    ScratchFolder scratch;
    ToneBeeper::Options options;
    options.wavePath = scratch.path("beep.wav");
    options.players = {{scratch.path("missing player")}};
    options.bellDevice = scratch.path("bell");
    ToneBeeper beeper(options);
    beeper.beep();
    ASSERT_TRUE(QTest::qWaitFor([&] { return scratch.read("bell") == "\a"; }, processWaitMs));

    // A tone file that cannot be written (its folder is a file): straight to the bell.
    ScratchFolder other;
    QFile blocker(QString::fromStdString(other.path("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    options.wavePath = other.path("file/beep.wav");
    options.players = {{other.script("player", "touch \"$(dirname \"$0\")/played\"\n")}};
    options.bellDevice = other.path("bell");
    ToneBeeper unwritable(options);
    EXPECT_EQ(unwritable.playScript().find("player"), std::string::npos);
    unwritable.beep();
    ASSERT_TRUE(QTest::qWaitFor([&] { return other.read("bell") == "\a"; }, processWaitMs));
    EXPECT_FALSE(other.exists("played"));
}
