#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHttpServer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTimer>
#include <functional>
#include <optional>

#include "classes/ClassRegister.h"
#include "classes/StudentProtocol.h"
#include "http/ConnectionCounter.h"
#include "http/ConnectionGuard.h"
#include "http/ConnectionLimits.h"
#include "http/HandOnListener.h"
#include "http/ServiceMetrics.h"
#include "http/TlsContext.h"
#include "teacher/TeacherPage.h"

class QUrlQuery;

namespace kt::service {

class HandOnListener;

// The class service over HTTPS: "/", the student application's endpoints
// (login, status, logout and its computer's report), the teacher's page under
// /leerkracht/ and the administrator's PUT /admin/classes/CODE (with the
// administrator secret). Writes one line per request to `log`, escaped; runs
// the classes' periodic work (ClassRegister::tick: the students' last polls,
// the lesson log) every few seconds. Holds every connection to `limits`.
//
// Behind a front that ends TLS it serves the same over plain HTTP, with
// /healthz and /metrics for the people who run it there or on an address of
// their own: never on the students' TLS listener.
class ServiceServer {
  public:
    using LogLine = std::function<void(const QString&)>;

    ServiceServer(ClassRegister& classes, StudentProtocol& students, TeacherAccounts& teachers,
                  QByteArray adminSecret, const QSslCertificate& certificate, const QSslKey& key,
                  const ConnectionLimits& limits, LogLine log);

    // Listens on `address`; port 0 picks a free one. Returns the port, 0 on failure.
    quint16 listen(const QHostAddress& address, quint16 port);
    // Plain HTTP for a front; the client's address is the one `trustedFronts`
    // give (PlainListener). Serves /healthz and /metrics too, unless listenAdmin does.
    quint16 listenPlain(const QHostAddress& address, quint16 port,
                        const QList<QHostAddress>& trustedFronts);
    // Plain HTTP with /healthz and /metrics alone.
    quint16 listenAdmin(const QHostAddress& address, quint16 port);
    // What /healthz tells: this instance's name and whether the database answers.
    void setHealth(QString instanceId, std::function<bool()> databaseReachable);

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
    // GET `path` for the people who run the service: on the front's and the admin's listener.
    void adminRoute(const QByteArray& path, QHttpServerResponse (ServiceServer::*handler)());
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
    QHttpServerResponse health();
    QHttpServerResponse metrics();

    // The missing handler and the log of `http`.
    void answerOn(QHttpServer& http);
    enum class Listener { Tls, Front, Admin };
    // Holds a new connection to the limits and times its requests; on the
    // students' listeners their status polls are answered as they come (behind
    // a front up to limits::pollsPerFrontConnection of them), and a teacher's
    // browser is served over its address's cap (`serveAfterAll`).
    void watch(QTcpSocket* socket, ConnectionCounter::Admission admission, Listener listener,
               HandOnListener::ServeAfterAll serveAfterAll = {});
    // Who polls on one connection: its client's address, and the token it polled
    // with last and that token's hash (a kept-alive connection's token is hashed once).
    struct PollingClient {
        explicit PollingClient(QString peer) : peer(std::move(peer)) {}
        QString peer;
        QString token, key;
    };
    // The answer to a status poll that `bytes` hold whole, unless it is for the HTTP server.
    // Answers a connection's status polls that came whole in one read.
    ConnectionGuard::QuickAnswer quickAnswerFor(const QHostAddress& client);
    std::optional<QByteArray> quickPoll(PollingClient& client, const QByteArray& bytes);
    quint16 bind(std::unique_ptr<HandOnListener> listener, QHttpServer& http,
                 const QHostAddress& address, quint16 port);
    static QString requestLine(const QHttpServerRequest& request);
    static QString requestLine(const QString& peer, const QString& method, const QString& path);
    // The status poll with `token` from `client`, by the HTTP server or from its bytes.
    ApiReply poll(const QString& token, PollingClient& client);
    // Logs the answer to the request of `line` that came in at `in` and counts its duration.
    void answered(const QString& line, int status, qint64 in);

    ClassRegister& classes_;
    StudentProtocol& students_;
    TeacherAccounts& teachers_;
    TeacherPage teacherPage_;
    QByteArray adminSecret_;
    TlsContext tls_;
    LogLine log_;
    ConnectionLimits limits_;
    ConnectionCounter connections_;  // outlives the sockets, which the HTTP server owns
    ServiceMetrics metrics_;
    QElapsedTimer clock_;
    qint64 requestIn_ = 0;  // when the last bytes of the request being handled came
    QString instanceId_;
    std::function<bool()> databaseReachable_;
    QHttpServer http_;       // the students', over TLS
    QHttpServer frontHttp_;  // the same behind a front, with the admin's pages
    QHttpServer adminHttp_;  // the admin's pages alone
    bool adminApart_ = false;
    QTimer flushTimer_;
};

}  // namespace kt::service
