#pragma once

#include <QHostAddress>
#include <QHttpServer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTimer>
#include <functional>

#include "classes/ClassService.h"
#include "http/ConnectionCounter.h"
#include "http/ConnectionLimits.h"
#include "teacher/TeacherPage.h"

namespace kt::service {

// The class service over HTTPS: "/", the endpoints of the student
// application (login, status, logout and the computer's report), the teacher's page under
// /leerkracht/ and the administrator's PUT /admin/classes/CODE (with the administrator secret).
// Writes one line per request to `log`, escaped; writes the students' last polls every few seconds,
// with the rest of the service's periodic work (ClassService::tick). Holds every connection to
// `limits`.
class ServiceServer {
  public:
    using LogLine = std::function<void(const QString&)>;

    ServiceServer(ClassService& service, TeacherAccounts& teachers, QByteArray adminSecret,
                  const QSslCertificate& certificate, const QSslKey& key,
                  const ConnectionLimits& limits, LogLine log);

    // Listens on `address`; port 0 picks a free one. Returns the port, 0 on failure.
    quint16 listen(const QHostAddress& address, quint16 port);

    static constexpr const char* adminSecretHeader = "X-Admin-Secret";

  private:
    static QString requestLine(const QHttpServerRequest& request);
    void logRequest(const QHttpServerRequest& request, int status);

    ClassService& service_;
    TeacherPage teacherPage_;
    QByteArray adminSecret_;
    QSslConfiguration tls_;
    LogLine log_;
    ConnectionLimits limits_;
    ConnectionCounter connections_;  // outlives the sockets, which the HTTP server owns
    QHttpServer http_;
    QTimer flushTimer_;
};

}  // namespace kt::service
