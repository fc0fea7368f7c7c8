#include <QApplication>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QUrl>
#include <cstdio>
#include <memory>

#include <unistd.h>

#include "DeploymentSettings.h"
#include "app/AppDelegate.h"
#include "app/AppState.h"
#include "app/state/DebugLogMirror.h"
#include "blocking/LinuxProfile.h"
#include "blocking/SystemProfile.h"
#include "platform/MemorySettings.h"
#include "platform/qt/EspeakSpeechSynthesizer.h"
#include "platform/qt/LogindWakeNotifications.h"
#include "platform/qt/QtHttpClient.h"
#include "platform/qt/QtModalAlert.h"
#include "platform/qt/QtNetworkInterfaces.h"
#include "platform/qt/QtPasteboard.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtSettings.h"
#include "platform/qt/QtSystemInformation.h"
#include "platform/qt/QtTimeFormatter.h"
#include "platform/qt/SystemClock.h"
#include "platform/qt/ToneBeeper.h"
#include "platform/system/DeploymentConfig.h"
#include "platform/system/FileLifetimeLock.h"
#include "platform/system/PosixFileSystem.h"
#include "platform/system/PosixProcessRunner.h"
#include "platform/system/PosixTerminationSignal.h"
#include "platform/system/ThreadWorkers.h"
#include "privilege/PrivilegeSelection.h"
#include "ui/AppStateBridge.h"
#include "ui/GraphicsChoice.h"
#include "ui/QuitController.h"
#include "ui/SelfTest.h"
#include "ui/TermsConsent.h"
#include "ui/UiContext.h"

int main(int argc, char* argv[]) {
    kt::chooseGraphics(kt::openGlRequested(argc, argv));
    // The window background is translucent.
    QQuickWindow::setDefaultAlphaBuffer(true);
    // A widgets application: the start-up alert is a message box.
    QApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("KaTesmar"));
    QGuiApplication::setApplicationName(QStringLiteral("Ka Tesmar"));
    QGuiApplication::setApplicationVersion(QString::fromLatin1(kt::deployment::applicationVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Ridudiziv Ka Tesmar"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption selfTest(
        QStringLiteral("self-test"),
        QStringLiteral("Load every screen, check the window and quit."));
    const QCommandLineOption screenshots(QStringLiteral("screenshots"),
                                         QStringLiteral("With --self-test: write PNGs into <dir>."),
                                         QStringLiteral("dir"));
    parser.addOption(selfTest);
    parser.addOption(screenshots);
    const QCommandLineOption logToStderr(
        QStringLiteral("debug-log-to-stderr"),
        QStringLiteral("Also write every debug-log line to standard error."));
    parser.addOption(logToStderr);
    // Read before the application object exists (see GraphicsChoice); listed here for --help.
    const QCommandLineOption openGl(
        QStringLiteral("opengl"),
        QStringLiteral("Draw the window with OpenGL instead of the software scene graph "
                       "(also KA_TESMAR_OPENGL=1)."));
    parser.addOption(openGl);
    parser.process(app);
    const bool selfTesting = parser.isSet(selfTest);

    // The school's settings, over the ones compiled in.
    std::vector<std::string> configWarnings;
    const kt::DeploymentSettings deployment = kt::loadDeploymentSettings(
        kt::deploymentConfigPath,
        {kt::deployment::serviceBaseUrl, kt::deployment::probeUrl, kt::deployment::caBundlePath},
        configWarnings);
    for (const std::string& warning : configWarnings)
        std::fprintf(stderr, "Ka_Tesmar: %s\n", warning.c_str());

    kt::QtScheduler scheduler;
    kt::SystemClock clock;
    kt::QtTimeFormatter timeFormatter;
    kt::QtHttpClient http({deployment.caBundle});
    kt::QtNetworkInterfaces networkInterfaces;
    kt::QtSystemInformation systemInformation;
    kt::QtPasteboard pasteboard;
    kt::SteadyBlockingWait blockingWait;
    kt::ToneBeeper beeper;
    kt::EspeakSpeechSynthesizer speech;
    kt::LogindWakeNotifications wakeNotifications;
    kt::QtModalAlert modalAlert;
    kt::PosixTerminationSignal terminationSignal;
    kt::PosixProcessRunner processes;
    kt::PosixFileSystem files;
    kt::ThreadWorkers workers;
    kt::FileLifetimeLock lifetimeLock(kt::LinuxProfile::applicationLock);
    // The scripts of the system this runs on: never the macOS ones on Linux.
    const std::string profileName(kt::nativeProfileName());
    const std::unique_ptr<kt::PrivilegeStrategy> privilege =
        kt::selectPrivilegeStrategy(profileName, ::geteuid() == 0);
    kt::Ports ports;
    ports.systemProfileName = profileName;
    ports.scheduler = &scheduler;
    ports.clock = &clock;
    ports.timeFormatter = &timeFormatter;
    ports.http = &http;
    ports.networkInterfaces = &networkInterfaces;
    ports.systemInformation = &systemInformation;
    ports.pasteboard = &pasteboard;
    ports.blockingWait = &blockingWait;
    ports.beeper = &beeper;
    ports.speech = &speech;
    ports.wakeNotifications = &wakeNotifications;
    ports.modalAlert = &modalAlert;
    ports.terminationSignal = &terminationSignal;
    ports.processes = &processes;
    ports.files = &files;
    ports.workers = &workers;
    ports.privilege = privilege.get();
    if (profileName == "linux")
        ports.lifetimeLock = &lifetimeLock;

    // One state object for the life of the process.
    const std::shared_ptr<kt::AppState> state =
        kt::AppState::create(ports, {deployment.serviceUrl, deployment.probeUrl});
    if (parser.isSet(logToStderr)) {
        kt::mirrorDebugLog(*state, [](const std::string& line) {
            std::fprintf(stderr, "%s\n", line.c_str());
            std::fflush(stderr);
        });
    }

    // The self-test must not change the user's stored consent.
    std::unique_ptr<kt::Settings> settings;
    if (selfTesting)
        settings = std::make_unique<kt::MemorySettings>();
    else
        settings = std::make_unique<kt::QtSettings>();

    kt::AppStateBridge bridge(state);
    kt::TermsConsent consent(*settings);
    QQmlApplicationEngine engine;
    kt::installUi(engine, bridge, consent);
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &app,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QString::fromLatin1(kt::mainWindowUrl)));
    if (engine.rootObjects().isEmpty())
        return 1;

    if (selfTesting)
        return kt::runSelfTest(engine, bridge, consent, parser.value(screenshots));

    // Closing the window, Ctrl+Q and the end of the desktop session all quit
    // through the delegate, which takes the blocking out first.
    kt::AppDelegate delegate;
    kt::QuitController quit(delegate, state, [] { QCoreApplication::quit(); });
    if (auto* window = qobject_cast<QWindow*>(engine.rootObjects().constFirst()))
        quit.watchWindow(window);
    return app.exec();
}
