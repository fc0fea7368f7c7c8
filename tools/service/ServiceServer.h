#pragma once

#include <QHostAddress>
#include <QHttpServer>
#include <QSslCertificate>
#include <QSslKey>
#include <functional>

#include "ClassService.h"

namespace kt::service {

// The class service over HTTPS: "/", the three endpoints of the student
// application and the teacher's PUT /admin/classes/CODE (loopback only).
// Writes one line per request to `log`.
class ServiceServer {
  public:
    using LogLine = std::function<void(const QString&)>;

    ServiceServer(ClassService& service, const QSslCertificate& certificate, const QSslKey& key,
                  LogLine log);

    // Listens on `address`; port 0 picks a free one. Returns the port, 0 on failure.
    quint16 listen(const QHostAddress& address, quint16 port);

    // Classes may be changed only from this computer (IPv4, IPv6 or mapped loopback).
    static bool isLocalTeacher(const QHostAddress& peer);

  private:
    void logRequest(const QHttpServerRequest& request, int status);

    ClassService& service_;
    LogLine log_;
    QHttpServer http_;
};

}  // namespace kt::service
