#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "TlsFiles.h"

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
class ServiceProcess {
  public:
    ServiceProcess(const QString& classesFile, const QString& tlsDirectory);
    ~ServiceProcess();

    bool started() const { return port_ != 0; }
    quint16 port() const { return port_; }
    QString baseUrl() const;  // https://127.0.0.1:PORT/Vexlo/api/
    QString rootUrl() const;  // https://127.0.0.1:PORT/
    QString output();         // everything it printed so far
    // Runs the event loop until its output holds `text`; false if it never does.
    bool waitForOutput(const QString& text);
    void stop();

  private:
    QProcess process_;
    QByteArray output_;
    quint16 port_ = 0;
};

}  // namespace kt::testing
