#include "QtTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace kt::testing {
namespace {

int argc = 1;
char arg0[] = "session_qt_tests";
char* argv[] = {arg0, nullptr};

}  // namespace

QCoreApplication& qtApp() {
    static QCoreApplication app(argc, argv);
    return app;
}

bool runEventsUntil(const std::function<bool()>& done, int limitMs) {
    qtApp();
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

const TestTls& testTls() {
    qtApp();
    static QTemporaryDir dir;
    static const TestTls tls = [] {
        TestTls made;
        made.directory = dir.path() + "/tls";
        made.certificatePath = made.directory + "/cert.pem";
        made.pair = service::loadOrCreateTlsPair(made.directory);
        return made;
    }();
    return tls;
}

QString writeClassesFile(const QTemporaryDir& dir, const QByteArray& json) {
    const QString path = dir.filePath("classes.json");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(json);
    return path;
}

ServiceProcess::ServiceProcess(const QString& classesFile, const QString& tlsDirectory) {
    qtApp();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(
        QStringLiteral(KT_SERVICE_BINARY),
        {"serve", "--listen", "127.0.0.1:0", "--classes", classesFile, "--tls-dir", tlsDirectory});
    static const QRegularExpression listening(R"(Listening on https://127\.0\.0\.1:(\d+)/)");
    runEventsUntil(
        [&] {
            output_ += process_.readAll();
            const auto match = listening.match(QString::fromUtf8(output_));
            if (match.hasMatch())
                port_ = static_cast<quint16>(match.captured(1).toUInt());
            return port_ != 0 || process_.state() == QProcess::NotRunning;
        },
        30000);
}

ServiceProcess::~ServiceProcess() {
    stop();
}

QString ServiceProcess::baseUrl() const {
    return rootUrl() + "Vexlo/api/";
}
QString ServiceProcess::rootUrl() const {
    return QStringLiteral("https://127.0.0.1:%1/").arg(port_);
}

QString ServiceProcess::output() {
    output_ += process_.readAll();
    return QString::fromUtf8(output_);
}

bool ServiceProcess::waitForOutput(const QString& text) {
    return runEventsUntil([&] { return output().contains(text); }, 10000);
}

void ServiceProcess::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(10000);
    }
    output_ += process_.readAll();
}

}  // namespace kt::testing
