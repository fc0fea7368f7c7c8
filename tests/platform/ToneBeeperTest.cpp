#include <gtest/gtest.h>

#include <QTest>
#include <fstream>

#include "TestFiles.h"
#include "platform/qt/ToneBeeper.h"
#include "platform/qt/ToneWave.h"

using kt::ToneBeeper;
using kt::testing::ScratchDir;

// The first player that works plays the tone written at construction; with
// no working player, or no tone file, the bell rings instead.
TEST(ToneBeeper, PlaysWithTheFirstPlayerThatWorksElseRingsTheBell) {
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
    const auto tone = kt::readWaveInfo(scratch.read("sounds/beep.wav"));
    ASSERT_TRUE(tone && tone->seconds() > 0) << "no tone written";
    beeper.beep();
    // The player's ">>" makes the file before echo writes its line.
    ASSERT_TRUE(QTest::qWaitFor([&] { return scratch.read("played").ends_with('\n'); }, 10000));
    EXPECT_EQ(scratch.read("tried"), options.wavePath + "\n");
    EXPECT_EQ(scratch.read("played"), "--quiet " + options.wavePath + "\n");
    EXPECT_FALSE(scratch.has("fallback-ran") || scratch.has("bell"));

    for (const bool writable : {true, false}) {
        ScratchDir other;
        std::ofstream(other.in("file")) << "";
        options.wavePath = other.in(writable ? "beep.wav" : "file/beep.wav");
        options.players = {{other.in("missing player")},
                           {other.script("player", "touch \"$(dirname \"$0\")/played\"\n")}};
        if (writable)
            options.players.pop_back();
        options.bellDevice = other.in("bell");
        ToneBeeper bell(options);
        bell.beep();
        ASSERT_TRUE(QTest::qWaitFor([&] { return other.read("bell") == "\a"; }, 10000)) << writable;
        EXPECT_FALSE(other.has("played")) << "no tone to play";
    }
}
