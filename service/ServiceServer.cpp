#include "ServiceServer.h"

#include <QDateTime>
#include <QHttpServerResponse>
#include <QPointer>
#include <QRegularExpression>
#include <QSslSocket>
#include <QUrlQuery>
#include <memory>

#include "classes/HttpReplies.h"
#include "http/ConnectionGuard.h"
#include "http/LogText.h"
#include "http/TlsListener.h"
#include "teacher/AdminSecret.h"

namespace kt::service {
namespace {

// The router reads a path as a regular expression: here every character but
// the <arg> places means itself.
QString literalPath(const QByteArray& path) {
    return QRegularExpression::escape(QLatin1String(path))
        .replace(QStringLiteral("\\<arg\\>"), QStringLiteral("<arg>"));
}

QString methodName(QHttpServerRequest::Method method) {
    switch (method) {
        case QHttpServerRequest::Method::Get:
            return QStringLiteral("GET");
        case QHttpServerRequest::Method::Put:
            return QStringLiteral("PUT");
        case QHttpServerRequest::Method::Delete:
            return QStringLiteral("DELETE");
        case QHttpServerRequest::Method::Post:
            return QStringLiteral("POST");
        case QHttpServerRequest::Method::Head:
            return QStringLiteral("HEAD");
        case QHttpServerRequest::Method::Options:
            return QStringLiteral("OPTIONS");
        case QHttpServerRequest::Method::Patch:
            return QStringLiteral("PATCH");
        default:
            return QStringLiteral("OTHER");
    }
}

}  // namespace

ServiceServer::ServiceServer(ClassRegister& classes, StudentProtocol& students,
                             TeacherAccounts& teachers, QByteArray adminSecret,
                             const QSslCertificate& certificate, const QSslKey& key,
                             const ConnectionLimits& limits, LogLine log)
    : classes_(classes),
      students_(students),
      teacherPage_(classes, teachers),
      adminSecret_(std::move(adminSecret)),
      // Whatever a client sent stays within its line.
      log_([log = std::move(log)](const QString& line) { log(escapedForLog(line)); }),
      limits_(limits),
      connections_(limits) {
    tls_ = QSslConfiguration::defaultConfiguration();
    tls_.setLocalCertificate(certificate);
    tls_.setPrivateKey(key);
    // Students have no certificates: without the system's CA list every
    // handshake skips loading it, which would cost milliseconds each.
    tls_.setCaCertificates({});
    tls_.setPeerVerifyMode(QSslSocket::VerifyNone);

    addRoutes();
    http_.afterRequest([this](QHttpServerResponse&& response, const QHttpServerRequest& request) {
        logRequest(request, static_cast<int>(response.statusCode()));
        return std::move(response);
    });
    http_.setMissingHandler(
        [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            const Reply reply = replyLater(request, std::move(responder));
            if (TeacherPage::isPagePath(request.url().path()))
                return teacherPage_.answerUnrouted(request, reply);
            reply(toResponse(failure(404, "Niet gevonden")));
        });

    QObject::connect(&flushTimer_, &QTimer::timeout, [this] {
        classes_.tick();
        if (const int dropped = connections_.takeDropped())
            log_(QStringLiteral("%1 dropped %2 connections over the caps unanswered")
                     .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate))
                     .arg(dropped));
    });
    flushTimer_.start(limits::lastSeenFlushMs);
}

// Every path the service answers, one line each; the rest gets 404 (and under
// /leerkracht/api/ first what TeacherPage::answerUnrouted says).
void ServiceServer::addRoutes() {
    using enum QHttpServerRequest::Method;
    using enum TeacherPage::Access;
    // The student application's, and the administrator's switch.
    route(Get, "/", &ServiceServer::banner);
    route(Post, "/Vexlo/api/class-login.php", &ServiceServer::studentLogin);
    route(Get, "/Vexlo/api/class-status.php", &ServiceServer::studentStatus);
    route(Post, "/Vexlo/api/class-logout.php", &ServiceServer::studentLogout);
    route(Post, "/Vexlo/api/class-report.php", &ServiceServer::studentReport);
    route(Put, "/admin/classes/<arg>", &ServiceServer::adminChange);
    // The teacher's page: its files, then its interface under /leerkracht/api/.
    route(Get, "/leerkracht", [] { return TeacherPage::toPage(); });
    pageFile("/leerkracht/", "index.html", "text/html; charset=utf-8");
    pageFile("/leerkracht/app.js", "app.js", "text/javascript; charset=utf-8");
    pageFile("/leerkracht/style.css", "style.css", "text/css; charset=utf-8");
    api(Post, "login", Anyone, &TeacherPage::login);
    api(Get, "session", LoggedIn, &TeacherPage::session);
    api(Post, "logout", LoggedIn, &TeacherPage::logout);
    api(Post, "password", LoggedIn, &TeacherPage::changePassword);
    api(Post, "display-name", OwnPassword, &TeacherPage::setDisplayName);
    api(Get, "classes", OwnPassword, &TeacherPage::listClasses);
    api(Post, "classes", OwnPassword, &TeacherPage::createClass);
    api(Get, "classes/<arg>", OwnPassword, &TeacherPage::showClass);
    api(Get, "classes/<arg>/log.csv", OwnPassword, &TeacherPage::lessonLogFile);
    api(Post, "classes/<arg>/blocked", OwnPassword, &TeacherPage::switchBlocking);
    api(Post, "classes/<arg>/domains", OwnPassword, &TeacherPage::changeDomains);
    api(Post, "classes/<arg>/students/<arg>/remove", OwnPassword, &TeacherPage::removeStudent);
    api(Post, "classes/<arg>/end", OwnPassword, &TeacherPage::endLesson);
}

template <typename Handler>
void ServiceServer::route(QHttpServerRequest::Method method, const QByteArray& path,
                          Handler handler) {
    if (!http_.route(literalPath(path), method, std::move(handler)))
        qFatal("ka-tesmar-service: cannot route %s", path.constData());
}

template <typename... Args>
void ServiceServer::route(QHttpServerRequest::Method method, const QByteArray& path,
                          QHttpServerResponse (ServiceServer::*handler)(const QHttpServerRequest&,
                                                                        Args...)) {
    route(method, path, [this, handler](Args... args, const QHttpServerRequest& request) {
        return (this->*handler)(request, args...);
    });
}

void ServiceServer::pageFile(const char* path, const char* name, const char* type) {
    route(QHttpServerRequest::Method::Get, path,
          [name, type] { return TeacherPage::file(QString::fromLatin1(name), type); });
}

template <typename... Args>
void ServiceServer::api(QHttpServerRequest::Method method, const char* path,
                        TeacherPage::Access access,
                        TeacherPage::Answer (TeacherPage::*endpoint)(const TeacherPage::Call&,
                                                                     Args...)) {
    route(method, QByteArray("/leerkracht/api/") + path,
          [this, access, endpoint](Args... args, const QHttpServerRequest& request,
                                   QHttpServerResponder&& responder) {
              teacherPage_.call(request, access, replyLater(request, std::move(responder)),
                                [&](const TeacherPage::Call& call) {
                                    return (teacherPage_.*endpoint)(call, args...);
                                });
          });
}

QHttpServerResponse ServiceServer::banner(const QHttpServerRequest&) {
    return QHttpServerResponse("text/plain; charset=utf-8",
                               QByteArrayLiteral("Ka Tesmar klasdienst\n"));
}

QHttpServerResponse ServiceServer::studentLogin(const QHttpServerRequest& request) {
    return toResponse(students_.login(request.body(), request.remoteAddress().toString()));
}

QHttpServerResponse ServiceServer::studentStatus(const QHttpServerRequest& request) {
    return toResponse(
        students_.status(request.query().queryItemValue("token", QUrl::FullyDecoded)));
}

QHttpServerResponse ServiceServer::studentLogout(const QHttpServerRequest& request) {
    return toResponse(students_.logout(request.body()));
}

QHttpServerResponse ServiceServer::studentReport(const QHttpServerRequest& request) {
    return toResponse(students_.report(request.body()));
}

QHttpServerResponse ServiceServer::adminChange(const QHttpServerRequest& request,
                                               const QString& code) {
    if (!secretMatches(request.value(adminSecretHeader), adminSecret_))
        return toResponse(
            failure(403, QStringLiteral("Alleen met het beheerdersgeheim van de dienst")));
    return toResponse(classes_.updateClass(code, request.body(), request.url().host()));
}

ServiceServer::Reply ServiceServer::replyLater(const QHttpServerRequest& request,
                                               QHttpServerResponder&& responder) {
    // The answer may come after a password check on a worker thread, when the
    // client may have gone: only a connection still open gets it.
    auto pending = std::make_shared<QHttpServerResponder>(std::move(responder));
    const QPointer<QTcpSocket> socket = pending->socket();
    const QString line = requestLine(request);
    return [this, pending, socket, line](QHttpServerResponse&& response) {
        log_(QStringLiteral("%1 %2").arg(line).arg(static_cast<int>(response.statusCode())));
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            response.write(std::move(*pending));
    };
}

quint16 ServiceServer::listen(const QHostAddress& address, quint16 port) {
    auto server = std::make_unique<TlsListener>(
        tls_, limits::handshakeTimeoutMs, connections_,
        [this](QSslSocket* socket, ConnectionCounter::Admission admission) {
            new ConnectionGuard(socket, limits_, admission, log_);  // a child of the socket
        });
    server->setListenBacklogSize(limits::listenBacklog);
    // Connections wait here until the HTTP server takes them; the default of 30
    // would leave the rest of a reconnecting school in the kernel's queue.
    server->setMaxPendingConnections(limits::listenBacklog);
    if (!server->listen(address, port))
        return 0;
    server->setHttpServer(&http_);
    const quint16 bound = server->serverPort();
    http_.bind(server.release());  // the HTTP server owns it from here
    return bound;
}

QString ServiceServer::requestLine(const QHttpServerRequest& request) {
    // The path only: the status query carries the session token.
    return QStringLiteral("%1 %2 %3 %4")
        .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
             request.remoteAddress().toString(), methodName(request.method()),
             request.url().path());
}

void ServiceServer::logRequest(const QHttpServerRequest& request, int status) {
    log_(QStringLiteral("%1 %2").arg(requestLine(request)).arg(status));
}

}  // namespace kt::service
