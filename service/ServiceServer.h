#pragma once

#include <QHostAddress>
#include <QHttpServer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTimer>
#include <functional>

#include "classes/ClassRegister.h"
#include "classes/StudentProtocol.h"
#include "http/ConnectionCounter.h"
#include "http/ConnectionLimits.h"
#include "teacher/TeacherPage.h"

namespace kt::service {

// The class service over HTTPS: "/", the student application's endpoints
// (login, status, logout and its computer's report), the teacher's page under
// /leerkracht/ and the administrator's PUT /admin/classes/CODE (with the
// administrator secret). Writes one line per request to `log`, escaped; runs
// the classes' periodic work (ClassRegister::tick: the students' last polls,
// the lesson log) every few seconds. Holds every connection to `limits`.
class ServiceServer {
  public:
    using LogLine = std::function<void(const QString&)>;

    ServiceServer(ClassRegister& classes, StudentProtocol& students, TeacherAccounts& teachers,
                  QByteArray adminSecret, const QSslCertificate& certificate, const QSslKey& key,
                  const ConnectionLimits& limits, LogLine log);

    // Listens on `address`; port 0 picks a free one. Returns the port, 0 on failure.
    quint16 listen(const QHostAddress& address, quint16 port);

    static constexpr const char* adminSecretHeader = "X-Admin-Secret";

  private:
    using Reply = TeacherPage::Reply;

    void addRoutes();
    // Routes `path` (literal, with <arg> for a part the handler receives) to `handler`.
    template <typename Handler>
    void route(QHttpServerRequest::Method method, const QByteArray& path, Handler handler);
    template <typename... Args>
    void route(QHttpServerRequest::Method method, const QByteArray& path,
               QHttpServerResponse (ServiceServer::*handler)(const QHttpServerRequest&, Args...));
    // GET `path` answers with the page's file `name`.
    void pageFile(const char* path, const char* name, const char* type);
    // An endpoint of the teacher's page at /leerkracht/api/`path`, for those with `access`.
    template <typename... Args>
    void api(QHttpServerRequest::Method method, const char* path, TeacherPage::Access access,
             TeacherPage::Answer (TeacherPage::*endpoint)(const TeacherPage::Call&, Args...));
    // Answers `request` through `responder` when called, now or later.
    Reply replyLater(const QHttpServerRequest& request, QHttpServerResponder&& responder);

    QHttpServerResponse banner(const QHttpServerRequest& request);
    QHttpServerResponse studentLogin(const QHttpServerRequest& request);
    QHttpServerResponse studentStatus(const QHttpServerRequest& request);
    QHttpServerResponse studentLogout(const QHttpServerRequest& request);
    QHttpServerResponse studentReport(const QHttpServerRequest& request);
    QHttpServerResponse adminChange(const QHttpServerRequest& request, const QString& code);

    static QString requestLine(const QHttpServerRequest& request);
    void logRequest(const QHttpServerRequest& request, int status);

    ClassRegister& classes_;
    StudentProtocol& students_;
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
