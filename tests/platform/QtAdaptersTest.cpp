// The Qt adapters: the scheduler, the beeper, speech and logind's wake signal.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <cerrno>
#include <fstream>
#include <thread>
#include <vector>

#include "TestFiles.h"
#include "platform/qt/EspeakSpeechSynthesizer.h"
#include "platform/qt/LogindWakeNotifications.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/ToneBeeper.h"
#include "platform/qt/ToneWave.h"

namespace kt {
namespace {

using testing::ScratchDir;
const std::string sentence = "Waarschuwing: Leerling heeft Ridudiziv Ka Tesmar uitgeschakeld";
const std::string ellen = "com.apple.speech.synthesis.voice.ellen";

TEST(QtScheduler, TasksFromAnyThreadRunOnTheMainThreadInOrderUntilCancelled) {
    QtScheduler scheduler;
    std::vector<std::string> ran;
    int ticks = 0;
    auto note = [&](std::string what) {
        ran.push_back(what + (QThread::currentThread() == qApp->thread() ? "" : " off main"));
    };
    const auto id = scheduler.startRepeating(Seconds{0.01}, [&] { ++ticks; });
    scheduler.post([&] { note("first"); });
    std::thread([&] {
        scheduler.post([&] { note("second"); });
        scheduler.postAfter(Seconds{0.03}, [&] { note("delayed"); });
    }).join();
    EXPECT_TRUE(ran.empty()) << "post never runs the task inside the call";
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran.size() == 3 && ticks >= 3; }, 5000));
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "second", "delayed"}));
    scheduler.cancelRepeating(id);
    const int ticksAtCancel = ticks;
    QTest::qWait(50);
    EXPECT_EQ(ticks, ticksAtCancel);
}

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
    const auto tone = readWaveInfo(scratch.read("sounds/beep.wav"));
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

// A stand-in engine listing voices as Debian's espeak-ng does (MBROLA ones
// included) records how it was called, then keeps "speaking"; the real one
// renders the warning in Dutch as more than a second of sound.
TEST(EspeakSpeech, ChoosesAnInstalledVoiceSpeaksTheTextFromStandardInputUntilItGoesAndRenders) {
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
    // The real engine, writing to a file instead of a sound device.
    EspeakSpeechSynthesizer real;
    EXPECT_EQ(real.voiceFor(ellen, "nl-BE"), "gmw/nl") << "no Ellen here: the Dutch voice";
    const auto error = real.renderToFile(sentence, ellen, "nl-BE", scratch.in("alert.wav"));
    ASSERT_FALSE(error.has_value()) << *error << " (espeak-ng comes with scripts/install-deps.sh)";
    const std::string wave = scratch.read("alert.wav");
    const auto info = readWaveInfo(wave);
    ASSERT_TRUE(info.has_value()) << "not a WAV file";
    EXPECT_GT(info->seconds(), 1.0);
    EXPECT_NE(wave.find_first_not_of('\0', wave.size() - info->dataBytes), std::string::npos)
        << "the file holds only silence";
}

TEST(LogindWake, OnlyLogindsFalseEdgeCountsAsWakingAndWithoutABusNothingFails) {
    const QString nowhere = QStringLiteral("nowhere");
    EXPECT_FALSE(LogindWakeNotifications(QDBusConnection::connectToBus(
                                             QStringLiteral("unix:path=/nonexistent/bus"), nowhere))
                     .isListening());
    QDBusConnection::disconnectFromBus(nowhere);
    // A bus of our own, as the system bus is not ours to send logind's signals on;
    // its socket goes with the scratch folder.
    const ScratchDir busDir("kt-bus");
    QProcess daemon;
    QStringList names;
    const auto stop = qScopeGuard([&] {
        for (const QString& name : names) QDBusConnection::disconnectFromBus(name);
        daemon.kill();
        daemon.waitForFinished(5000);
    });
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--nopidfile"), QStringLiteral("--print-address"),
                  QString::fromStdString("--address=unix:path=" + busDir.in("bus"))});
    if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000))
        GTEST_SKIP() << "no private D-Bus (dbus-daemon) could be started";
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    auto connect = [&](const char* name) {
        names << QString::fromLatin1(name);
        return QDBusConnection::connectToBus(address, names.last());
    };
    // A call answered means all sent before it has passed the bus.
    auto roundTrip = [](QDBusConnection c) { c.interface()->registeredServiceNames(); };
    auto prepareForSleep = [](bool sleeping) {
        return QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                          QStringLiteral("org.freedesktop.login1.Manager"),
                                          QStringLiteral("PrepareForSleep"))
               << sleeping;
    };
    QDBusConnection logind = connect("logind"), impostor = connect("impostor");
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    const QDBusConnection application = connect("application");
    LogindWakeNotifications notifications(application);
    ASSERT_TRUE(notifications.isListening());
    int wakes = 0, secondObserver = 0;
    notifications.observeWake([&] { ++wakes; });
    notifications.observeWake([&] { ++secondObserver; });
    roundTrip(application);  // the match rule is in place
    // Someone else sending logind's signal is not logind.
    ASSERT_TRUE(impostor.send(prepareForSleep(false)));
    roundTrip(impostor);
    // Going to sleep, then waking.
    ASSERT_TRUE(logind.send(prepareForSleep(true)));
    ASSERT_TRUE(logind.send(prepareForSleep(false)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return wakes >= 1; }, 10000)) << "the wake was not seen";
    roundTrip(application);
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(secondObserver, 1);
}

}  // namespace
}  // namespace kt
