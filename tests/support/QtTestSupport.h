#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSslSocket>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "http/TlsFiles.h"

namespace kt::testing {

// The one Qt application object of a test executable.
QCoreApplication& qtApp();

// Runs the event loop until `done` holds; false when `limitMs` passed first.
// The limit only guards against a hang: nothing is timed with it.
bool runEventsUntil(const std::function<bool()>& done, int limitMs = 20000);

// A self-signed certificate for 127.0.0.1 and localhost, made once per test
// executable in a temporary folder.
struct TestTls {
    QString directory;  // holds cert.pem and key.pem
    QString certificatePath;
    service::TlsPair pair;
};
const TestTls& testTls();

// Writes a classes file into `dir` and returns its path.
QString writeClassesFile(const QTemporaryDir& dir, const QByteArray& json);

// The real ka-tesmar-service executable, serving on a free loopback port.
// Its database and administrator secret are in a folder of its own unless
// `database` names one (to start it again on the same data); `options` are
// further options of `serve`.
class ServiceProcess {
  public:
    ServiceProcess(const QString& classesFile, const QString& tlsDirectory,
                   const QString& database = QString(), const QStringList& options = {});
    ~ServiceProcess() { stop(); }
    bool started() const { return port_ != 0; }
    quint16 port() const { return port_; }
    QString baseUrl() const { return rootUrl() + "Vexlo/api/"; }
    QString rootUrl() const { return QStringLiteral("https://127.0.0.1:%1/").arg(port_); }
    // Everything it printed so far.
    QString output() { return QString::fromUtf8(output_ += process_.readAll()); }
    // Runs the event loop until its output holds `text`; false if it never does.
    bool waitForOutput(const QString& text) {
        return runEventsUntil([&] { return output().contains(text); }, 10000);
    }
    // Waits until its output holds `text` `times` times, running no events meanwhile.
    bool waitForOutputAlone(const QString& text, qsizetype times);
    void stop();
    // Ends it at once (SIGKILL), as a crash or a pulled plug does.
    void kill();
    QString adminSecretPath() const;

  private:
    QTemporaryDir dataDir_;
    QString database_;
    QProcess process_;
    QByteArray output_;
    quint16 port_ = 0;
};

// One request over TLS on its own connection, written byte for byte, and the
// whole reply as it came (the connection is closed after it).
struct RawReply {
    int status = 0;  // 0: no reply
    QByteArray head;
    QByteArray body;
    QByteArray header(const QByteArray& name) const;  // first value, empty when absent
};
// The first reply in `received`: status 0 until its head is in; `complete`
// tells whether its body is too (by its Content-Length).
RawReply parseReply(const QByteArray& received, bool* complete = nullptr);
// "METHOD PATH" with the given headers and body, Content-Length filled in; `from` is the
// loopback address it comes from (127.x.y.z), 127.0.0.1 unless given.
RawReply rawRequest(quint16 port, const QByteArray& method, const QByteArray& path,
                    const QByteArray& body = QByteArray(),
                    const QList<QByteArray>& headers = QList<QByteArray>(),
                    const QString& from = {});

// A TLS connection (or a plain one) to the service on 127.0.0.1 that a test
// drives: from the loopback address `from`, sending what it likes when it
// likes; it records what came back and whether the service closed it.
class TestConnection {
  public:
    explicit TestConnection(quint16 port, const QString& from = QStringLiteral("127.0.0.1"),
                            bool tls = true);
    void send(const QByteArray& bytes);  // written once the handshake is done
    // Waits for the handshake, then writes `bytes` and reads nothing until all
    // of them are out, as a client does that sends its whole request before it
    // reads the answer. A reset meanwhile makes Qt drop the connection unread.
    void sendWithoutReading(const QByteArray& bytes);
    bool closed() const { return closed_; }
    const QByteArray& received() const { return received_; }
    RawReply reply() const { return parseReply(received_); }
    // Runs the event loop until the first reply is in whole or the connection
    // is closed; that reply.
    RawReply waitForReply();

  private:
    QSslSocket socket_;
    QByteArray received_, unsent_;
    bool tls_, closed_ = false;
};

// Runs the executable with `arguments`; its exit status and output.
std::pair<int, QString> runServiceCommand(const QStringList& arguments);

}  // namespace kt::testing
