#include "QtTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>

namespace kt::testing {

QCoreApplication& qtApp() {
    static int argc = 1;
    static char arg0[] = "session_qt_tests";
    static char* argv[] = {arg0, nullptr};
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
    static const QString tlsDir = dir.path() + "/tls";
    static const TestTls tls{tlsDir, tlsDir + "/cert.pem", service::loadOrCreateTlsPair(tlsDir)};
    return tls;
}

QString writeClassesFile(const QTemporaryDir& dir, const QByteArray& json) {
    QFile file(dir.filePath("classes.json"));
    if (file.open(QIODevice::WriteOnly))
        file.write(json);
    return file.fileName();
}

ServiceProcess::ServiceProcess(const QString& classesFile, const QString& tlsDirectory,
                               const QString& database, const QStringList& options)
    : database_(database.isEmpty() ? dataDir_.filePath("service.db") : database) {
    qtApp();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments = {"serve",      "--listen",   "127.0.0.1:0", "--tls-dir",
                             tlsDirectory, "--database", database_};
    if (!classesFile.isEmpty())
        arguments << "--classes" << classesFile;
    arguments << options;
    process_.start(QStringLiteral(KT_SERVICE_BINARY), arguments);
    static const QRegularExpression listening(R"(Listening on https://127\.0\.0\.1:(\d+)/)");
    runEventsUntil(
        [&] {
            port_ = listening.match(output()).captured(1).toUShort();
            return port_ != 0 || process_.state() == QProcess::NotRunning;
        },
        30000);
}

QString ServiceProcess::adminSecretPath() const {
    return QFileInfo(database_).absoluteDir().filePath("admin.secret");
}

void ServiceProcess::stop() {
    process_.terminate();  // nothing when it is not running
    if (!process_.waitForFinished(10000))
        process_.kill();
    process_.waitForFinished(10000);
    output_ += process_.readAll();
}

QByteArray RawReply::header(const QByteArray& name) const {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

RawReply rawRequest(quint16 port, const QByteArray& request, const QString& from) {
    QSslSocket socket;
    if (!from.isEmpty() && !socket.bind(QHostAddress(from)))
        return {};
    QSslConfiguration tls = socket.sslConfiguration();
    tls.setCaCertificates(QSslCertificate::fromPath(testTls().certificatePath));
    socket.setSslConfiguration(tls);
    socket.connectToHostEncrypted("127.0.0.1", port);
    QByteArray received;
    RawReply reply;
    bool done = false;
    QObject::connect(&socket, &QSslSocket::encrypted, [&] { socket.write(request); });
    QObject::connect(&socket, &QSslSocket::disconnected, [&] { done = true; });
    QObject::connect(&socket, &QSslSocket::errorOccurred, [&] { done = true; });
    QObject::connect(&socket, &QSslSocket::readyRead, [&] {
        received += socket.readAll();
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (!received.startsWith("HTTP/1.1 ") || end < 0)
            return;
        reply.status = received.mid(9, 3).toInt();
        reply.head = received.left(end);
        reply.body = received.mid(end + 4);
        done = reply.body.size() >= reply.header("Content-Length").toLongLong();
    });
    runEventsUntil([&] { return done; });
    return reply;
}

RawReply rawRequest(quint16 port, const QByteArray& method, const QByteArray& path,
                    const QByteArray& body, const QList<QByteArray>& headers, const QString& from) {
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (const QByteArray& header : headers) request += header + "\r\n";
    if (!body.isEmpty() || method == "POST" || method == "PUT")
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "Connection: close\r\n\r\n" + body;
    return rawRequest(port, request, from);
}

std::pair<int, QString> runServiceCommand(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(KT_SERVICE_BINARY), arguments);
    if (!process.waitForFinished(60000))
        return {-1, QStringLiteral("did not finish")};
    return {process.exitCode(), QString::fromUtf8(process.readAll())};
}

}  // namespace kt::testing
