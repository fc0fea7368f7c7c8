#include "ServiceServer.h"

#include <QDateTime>
#include <QHttpServerResponse>
#include <QPointer>
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

constexpr int lastSeenFlushMs = 5000;
// A whole school reconnecting at once: the kernel queues this many connections
// and a handshake may wait this long for the one core.
constexpr int listenBacklog = 16384;
constexpr int handshakeTimeoutMs = 60000;

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

ServiceServer::ServiceServer(ClassService& service, TeacherAccounts& teachers,
                             QByteArray adminSecret, const QSslCertificate& certificate,
                             const QSslKey& key, const ConnectionLimits& limits, LogLine log)
    : service_(service),
      teacherPage_(service, teachers),
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

    http_.route("/", QHttpServerRequest::Method::Get, [] {
        return QHttpServerResponse("text/plain; charset=utf-8",
                                   QByteArrayLiteral("Ka Tesmar klasdienst\n"));
    });
    http_.route(
        "/Vexlo/api/class-login.php", QHttpServerRequest::Method::Post,
        [this](const QHttpServerRequest& request) {
            return toResponse(service_.login(request.body(), request.remoteAddress().toString()));
        });
    http_.route("/Vexlo/api/class-status.php", QHttpServerRequest::Method::Get,
                [this](const QHttpServerRequest& request) {
                    const QString token =
                        request.query().queryItemValue("token", QUrl::FullyDecoded);
                    return toResponse(service_.status(token));
                });
    http_.route("/Vexlo/api/class-logout.php", QHttpServerRequest::Method::Post,
                [this](const QHttpServerRequest& request) {
                    return toResponse(service_.logout(request.body()));
                });
    http_.route("/Vexlo/api/class-report.php", QHttpServerRequest::Method::Post,
                [this](const QHttpServerRequest& request) {
                    return toResponse(service_.report(request.body()));
                });
    http_.route("/admin/classes/<arg>", QHttpServerRequest::Method::Put,
                [this](const QString& code, const QHttpServerRequest& request) {
                    if (!secretMatches(request.value(adminSecretHeader), adminSecret_))
                        return toResponse(failure(
                            403, QStringLiteral("Alleen met het beheerdersgeheim van de dienst")));
                    return toResponse(service_.updateClass(code, request.body()));
                });
    http_.afterRequest([this](QHttpServerResponse&& response, const QHttpServerRequest& request) {
        logRequest(request, static_cast<int>(response.statusCode()));
        return std::move(response);
    });
    http_.setMissingHandler([this](const QHttpServerRequest& request,
                                   QHttpServerResponder&& responder) {
        if (!TeacherPage::isPagePath(request.url().path())) {
            QHttpServerResponse response = toResponse(failure(404, "Niet gevonden"));
            logRequest(request, static_cast<int>(response.statusCode()));
            return response.write(std::move(responder));
        }
        // The answer may come after a password check on a worker thread, when the
        // student may have gone: only a connection still open gets it.
        auto pending = std::make_shared<QHttpServerResponder>(std::move(responder));
        const QPointer<QTcpSocket> socket = pending->socket();
        const QString line = requestLine(request);
        teacherPage_.handle(request, [this, pending, socket, line](QHttpServerResponse&& response) {
            log_(QStringLiteral("%1 %2").arg(line).arg(static_cast<int>(response.statusCode())));
            if (socket && socket->state() == QAbstractSocket::ConnectedState)
                response.write(std::move(*pending));
        });
    });

    QObject::connect(&flushTimer_, &QTimer::timeout, [this] {
        service_.tick();
        if (const int dropped = connections_.takeDropped())
            log_(QStringLiteral("%1 dropped %2 connections over the caps unanswered")
                     .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate))
                     .arg(dropped));
    });
    flushTimer_.start(lastSeenFlushMs);
}

quint16 ServiceServer::listen(const QHostAddress& address, quint16 port) {
    auto server = std::make_unique<TlsListener>(
        tls_, handshakeTimeoutMs, connections_,
        [this](QSslSocket* socket, ConnectionCounter::Admission admission) {
            new ConnectionGuard(socket, limits_, admission, log_);  // a child of the socket
        });
    server->setListenBacklogSize(listenBacklog);
    // Connections wait here until the HTTP server takes them; the default of 30
    // would leave the rest of a reconnecting school in the kernel's queue.
    server->setMaxPendingConnections(listenBacklog);
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
