#include "ServiceServer.h"

#include <QDateTime>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QStringBuilder>
#include <QUrlQuery>
#include <memory>

#include "classes/HttpReplies.h"
#include "http/ConnectionGuard.h"
#include "http/HeadCookie.h"
#include "http/LogText.h"
#include "http/PlainListener.h"
#include "http/QuickPoll.h"
#include "http/TlsListener.h"
#include "teacher/AdminSecret.h"

namespace kt::service {
namespace {

// The students' poll, whose refusals must never read as the class's answer.
constexpr char statusPath[] = "/Vexlo/api/class-status.php";

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

QHttpServerResponse notFound() {
    return toResponse(failure(404, "Niet gevonden"));
}

}  // namespace

ServiceServer::ServiceServer(ClassRegister& classes, StudentProtocol& students,
                             TeacherAccounts& teachers, QByteArray adminSecret,
                             const QSslCertificate& certificate, const QSslKey& key,
                             const ConnectionLimits& limits, LogLine log)
    : classes_(classes),
      students_(students),
      teachers_(teachers),
      teacherPage_(classes, teachers),
      adminSecret_(std::move(adminSecret)),
      // Whatever a client sent stays within its line.
      log_([log = std::move(log)](const QString& line) { log(escapedForLog(line)); }),
      limits_(limits),
      connections_(limits) {
    tls_ = TlsContext::make(certificate, key);
    clock_.start();
    addRoutes();
    for (QHttpServer* http : {&http_, &frontHttp_, &adminHttp_}) answerOn(*http);

    QObject::connect(&flushTimer_, &QTimer::timeout, [this] {
        classes_.tick();
        if (const int dropped = connections_.takeDropped())
            log_(QStringLiteral("%1 dropped %2 connections over the caps unanswered")
                     .arg(logTime())
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
    route(Get, statusPath, &ServiceServer::studentStatus);
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
    // For the people who run it, never on the students' listener.
    adminRoute("/healthz", &ServiceServer::health);
    adminRoute("/metrics", &ServiceServer::metrics);
}

void ServiceServer::answerOn(QHttpServer& http) {
    http.afterRequest([this](QHttpServerResponse&& response, const QHttpServerRequest& request) {
        answered(requestLine(request), static_cast<int>(response.statusCode()), requestIn_);
        return std::move(response);
    });
    http.setMissingHandler(
        [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            const Reply reply = replyLater(request, std::move(responder));
            if (TeacherPage::isPagePath(request.url().path()))
                return teacherPage_.answerUnrouted(request, reply);
            reply(notFound());
        });
}

template <typename Handler>
void ServiceServer::route(QHttpServerRequest::Method method, const QByteArray& path,
                          Handler handler) {
    for (QHttpServer* http : {&http_, &frontHttp_})
        if (!http->route(literalPath(path), method, handler))
            qFatal("ka-tesmar-service: cannot route %s", path.constData());
}

void ServiceServer::adminRoute(const QByteArray& path,
                               QHttpServerResponse (ServiceServer::*handler)()) {
    const auto onFront = [this, handler] { return adminApart_ ? notFound() : (this->*handler)(); };
    if (!frontHttp_.route(literalPath(path), QHttpServerRequest::Method::Get, onFront) ||
        !adminHttp_.route(literalPath(path), QHttpServerRequest::Method::Get,
                          [this, handler] { return (this->*handler)(); }))
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
    PollingClient client(request.remoteAddress().toString());
    return toResponse(poll(request.query().queryItemValue("token", QUrl::FullyDecoded), client));
}

QHttpServerResponse ServiceServer::studentLogout(const QHttpServerRequest& request) {
    return toResponse(students_.logout(request.body(), request.remoteAddress().toString()));
}

QHttpServerResponse ServiceServer::studentReport(const QHttpServerRequest& request) {
    return toResponse(students_.report(request.body(), request.remoteAddress().toString()));
}

QHttpServerResponse ServiceServer::adminChange(const QHttpServerRequest& request,
                                               const QString& code) {
    if (!secretMatches(request.value(adminSecretHeader), adminSecret_))
        return toResponse(
            failure(403, QStringLiteral("Alleen met het beheerdersgeheim van de dienst")));
    return toResponse(classes_.updateClass(code, request.body(), request.url().host()));
}

void ServiceServer::setHealth(QString instanceId, std::function<bool()> databaseReachable) {
    instanceId_ = std::move(instanceId);
    databaseReachable_ = std::move(databaseReachable);
}

QHttpServerResponse ServiceServer::health() {
    const bool reachable = databaseReachable_ && databaseReachable_();
    const QJsonObject body{{"status", reachable ? "ok" : "database unreachable"},
                           {"database", reachable},
                           {"instance", instanceId_},
                           {"version", QStringLiteral(KT_SERVICE_VERSION)}};
    return QHttpServerResponse(body, reachable
                                         ? QHttpServerResponse::StatusCode::Ok
                                         : QHttpServerResponse::StatusCode::ServiceUnavailable);
}

QHttpServerResponse ServiceServer::metrics() {
    const qint64 now = classes_.now();
    int online = 0;
    for (const ClassRecord& record : classes_.all())
        for (const StudentSession& student : classes_.studentsOf(record.code))
            if (student.departedAtMs == 0 && now - student.lastSeenMs <= limits::contactWithinMs)
                ++online;
    return QHttpServerResponse("text/plain; version=0.0.4; charset=utf-8",
                               metrics_.render({connections_.open(), online, failedStatements}));
}

ServiceServer::Reply ServiceServer::replyLater(const QHttpServerRequest& request,
                                               QHttpServerResponder&& responder) {
    // The answer may come after a password check on a worker thread, when the
    // client may have gone: only a connection still open gets it.
    auto pending = std::make_shared<QHttpServerResponder>(std::move(responder));
    const QPointer<QTcpSocket> socket = pending->socket();
    const QString line = requestLine(request);
    return [this, pending, socket, line, in = requestIn_](QHttpServerResponse&& response) {
        answered(line, static_cast<int>(response.statusCode()), in);
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            response.write(std::move(*pending));
    };
}

quint16 ServiceServer::listen(const QHostAddress& address, quint16 port) {
    if (!tls_.get()) {
        log_(tls_.error());
        return 0;
    }
    return bind(std::make_unique<TlsListener>(
                    tls_, limits_, connections_,
                    [this](const QHostAddress& client) { return quickAnswerFor(client); },
                    [this](QTcpSocket* socket, auto admission, auto serveAfterAll) {
                        watch(socket, admission, Listener::Tls, std::move(serveAfterAll));
                    }),
                http_, address, port);
}

quint16 ServiceServer::listenPlain(const QHostAddress& address, quint16 port,
                                   const QList<QHostAddress>& trustedFronts) {
    return bind(std::make_unique<PlainListener>(
                    trustedFronts, limits_.requestTimeoutMs, connections_,
                    [this](QTcpSocket* socket, auto admission, auto serveAfterAll) {
                        watch(socket, admission, Listener::Front, std::move(serveAfterAll));
                    }),
                frontHttp_, address, port);
}

quint16 ServiceServer::listenAdmin(const QHostAddress& address, quint16 port) {
    adminApart_ = true;
    const auto watchAdmin = [this](QTcpSocket* socket, auto admission, auto) {
        watch(socket, admission, Listener::Admin);
    };
    return bind(std::make_unique<PlainListener>(QList<QHostAddress>(), limits_.requestTimeoutMs,
                                                connections_, watchAdmin),
                adminHttp_, address, port);
}

void ServiceServer::watch(QTcpSocket* socket, ConnectionCounter::Admission admission,
                          Listener listener, HandOnListener::ServeAfterAll serveAfterAll) {
    const bool students = listener != Listener::Admin;
    ConnectionLimits limits = limits_;
    if (listener == Listener::Front)
        limits.pollsPerConnection = limits::pollsPerFrontConnection;
    ConnectionGuard::QuickAnswer quickAnswer;
    ConnectionGuard::ServedOverCap servedOverCap;
    if (students)  // a connection's client is known by now, and stays
        quickAnswer = quickAnswerFor(socket->peerAddress());
    if (students && admission == ConnectionCounter::Admission::OverAddressCap)
        servedOverCap = [this, serveAfterAll = std::move(serveAfterAll)](const QByteArray& head) {
            return teachers_.knowsBrowser(
                       QString::fromLatin1(cookieInHead(head, TeacherPage::cookieName)),
                       cookieInHead(head, TeacherPage::deviceCookieName)) &&
                   serveAfterAll();
        };
    // A child of the socket.
    new ConnectionGuard(socket, limits, admission, QByteArray("GET ") + statusPath, log_,
                        std::move(quickAnswer), std::move(servedOverCap));
    // After the guard's and before the HTTP server's: in the turn that completes a
    // request, this is when its last bytes came.
    QObject::connect(socket, &QIODevice::readyRead, socket,
                     [this] { requestIn_ = clock_.nsecsElapsed(); });
}

ConnectionGuard::QuickAnswer ServiceServer::quickAnswerFor(const QHostAddress& client) {
    return [this, polling = PollingClient(client.toString())](const QByteArray& bytes) mutable {
        return quickPoll(polling, bytes);
    };
}

std::optional<QByteArray> ServiceServer::quickPoll(PollingClient& client, const QByteArray& bytes) {
    const std::optional<QByteArray> target = quickPollTarget(bytes, statusPath);
    if (!target)
        return std::nullopt;
    const qint64 in = clock_.nsecsElapsed();
    // The application's token needs no URL parser; any other query gets the HTTP server's.
    const std::optional<QString> token = plainPollToken(*target, statusPath);
    const ApiReply reply = poll(
        token ? *token
              : QUrlQuery(QUrl::fromEncoded(*target)).queryItemValue("token", QUrl::FullyDecoded),
        client);
    static const QString get = QStringLiteral("GET"), path = QString::fromLatin1(statusPath);
    answered(requestLine(client.peer, get, path), reply.status, in);
    return toBytes(reply);
}

quint16 ServiceServer::bind(std::unique_ptr<HandOnListener> listener, QHttpServer& http,
                            const QHostAddress& address, quint16 port) {
    listener->setListenBacklogSize(limits::listenBacklog);
    // Connections wait here until the HTTP server takes them; the default of 30
    // would leave the rest of a reconnecting school in the kernel's queue.
    listener->setMaxPendingConnections(limits::listenBacklog);
    if (!listener->listen(address, port))
        return 0;
    listener->setHttpServer(&http);
    const quint16 bound = listener->serverPort();
    http.bind(listener.release());  // the HTTP server owns it from here
    return bound;
}

QString ServiceServer::requestLine(const QHttpServerRequest& request) {
    return requestLine(request.remoteAddress().toString(), methodName(request.method()),
                       request.url().path());
}

QString ServiceServer::requestLine(const QString& peer, const QString& method,
                                   const QString& path) {
    // The path only: the status query carries the session token.
    return logTime() % u' ' % peer % u' ' % method % u' ' % path;
}

ApiReply ServiceServer::poll(const QString& token, PollingClient& client) {
    metrics_.countPoll();
    if (token.isEmpty())
        return students_.status(token, client.peer);
    if (token != client.token) {
        client.token = token;
        client.key = StudentProtocol::tokenHash(token);
    }
    return students_.statusOf(client.key, client.peer);
}

void ServiceServer::answered(const QString& line, int status, qint64 in) {
    log_(line % u' ' % QString::number(status));
    metrics_.observeRequest(clock_.nsecsElapsed() - in);
}

}  // namespace kt::service
