#include "QtTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QThread>
#include <utility>

namespace kt::testing {

QCoreApplication& qtApp() {
    static int argc = 1;
    static char arg0[] = "qt_tests";
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

bool ServiceProcess::waitForOutputAlone(const QString& text, qsizetype times) {
    while (output().count(text) < times)
        if (!process_.waitForReadyRead(10000))
            return false;
    return true;
}

void ServiceProcess::kill() {
    process_.kill();
    process_.waitForFinished(10000);
    output_ += process_.readAll();
}

void ServiceProcess::stop() {
    process_.terminate();  // nothing when it is not running
    process_.waitForFinished(10000);
    kill();  // when it is still running
}

QByteArray RawReply::header(const QByteArray& name) const {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

RawReply parseReply(const QByteArray& received, bool* complete) {
    RawReply reply;
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (complete)
        *complete = false;
    if (!received.startsWith("HTTP/1.1 ") || end < 0)
        return reply;
    reply.status = received.mid(9, 3).toInt();
    reply.head = received.left(end);
    reply.body = received.mid(end + 4);
    if (complete)
        *complete = reply.body.size() >= reply.header("Content-Length").toLongLong();
    return reply;
}

TestConnection::TestConnection(quint16 port, const QString& from, bool tls) : tls_(tls) {
    QSslConfiguration configuration = socket_.sslConfiguration();
    configuration.setCaCertificates(QSslCertificate::fromPath(testTls().certificatePath));
    socket_.setSslConfiguration(configuration);
    socket_.bind(QHostAddress(from));
    QObject::connect(&socket_, tls ? &QSslSocket::encrypted : &QSslSocket::connected,
                     [this] { send({}); });
    QObject::connect(&socket_, &QSslSocket::disconnected, [this] { closed_ = true; });
    QObject::connect(&socket_, &QSslSocket::errorOccurred, [this] { closed_ = true; });
    QObject::connect(&socket_, &QSslSocket::readyRead, [this] { received_ += socket_.readAll(); });
    if (tls)
        socket_.connectToHostEncrypted("127.0.0.1", port);
    else
        socket_.connectToHost("127.0.0.1", port);
}

void TestConnection::send(const QByteArray& bytes) {
    unsent_ += bytes;
    const bool open =
        tls_ ? socket_.isEncrypted() : socket_.state() == QAbstractSocket::ConnectedState;
    if (open && !unsent_.isEmpty())
        socket_.write(std::exchange(unsent_, {}));
}

void TestConnection::sendWithoutReading(const QByteArray& bytes) {
    const bool ready = tls_ ? socket_.isEncrypted() || socket_.waitForEncrypted(20000)
                            : socket_.state() == QAbstractSocket::ConnectedState ||
                                  socket_.waitForConnected(20000);
    if (!ready)
        return;
    socket_.write(bytes);
    while (socket_.state() == QAbstractSocket::ConnectedState &&
           (socket_.flush() || socket_.encryptedBytesToWrite() > 0 || socket_.bytesToWrite() > 0))
        QThread::usleep(100);
}

RawReply TestConnection::waitForReply() {
    bool complete = false;
    runEventsUntil([&] {
        parseReply(received_, &complete);
        return complete || closed_;
    });
    return reply();
}

RawReply rawRequest(quint16 port, const QByteArray& method, const QByteArray& path,
                    const QByteArray& body, const QList<QByteArray>& headers, const QString& from) {
    QByteArray request = method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (const QByteArray& header : headers) request += header + "\r\n";
    if (!body.isEmpty() || method == "POST" || method == "PUT")
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    TestConnection connection(port, from.isEmpty() ? QStringLiteral("127.0.0.1") : from);
    connection.send(request + "Connection: close\r\n\r\n" + body);
    return connection.waitForReply();
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
