#pragma once

#include <QHostAddress>
#include <QHttpServer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTimer>
#include <functional>

#include "ClassService.h"
#include "TeacherPage.h"

namespace kt::service {

// The class service over HTTPS: "/", the three endpoints of the student
// application, the teacher's page under /leerkracht/ and the administrator's
// PUT /admin/classes/CODE (with the administrator secret). Writes one line
// per request to `log`; writes the students' last polls every few seconds.
class ServiceServer {
  public:
    using LogLine = std::function<void(const QString&)>;

    ServiceServer(ClassService& service, TeacherAccounts& teachers, QByteArray adminSecret,
                  const QSslCertificate& certificate, const QSslKey& key, LogLine log);

    // Listens on `address`; port 0 picks a free one. Returns the port, 0 on failure.
    quint16 listen(const QHostAddress& address, quint16 port);

    static constexpr const char* adminSecretHeader = "X-Admin-Secret";

  private:
    static QString requestLine(const QHttpServerRequest& request);
    void logRequest(const QHttpServerRequest& request, int status);
    void watchConnection(class QSslSocket* socket);

    ClassService& service_;
    TeacherPage teacherPage_;
    QByteArray adminSecret_;
    QSslConfiguration tls_;
    LogLine log_;
    QHttpServer http_;
    QTimer flushTimer_;
};

}  // namespace kt::service
