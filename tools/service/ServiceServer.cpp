#include "ServiceServer.h"

#include <QDateTime>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QUrlQuery>

namespace kt::service {
namespace {

using StatusCode = QHttpServerResponse::StatusCode;

QHttpServerResponse toResponse(const ApiReply& reply) {
    return QHttpServerResponse(reply.body, static_cast<StatusCode>(reply.status));
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

ServiceServer::ServiceServer(ClassService& service, const QSslCertificate& certificate,
                             const QSslKey& key, LogLine log)
    : service_(service), log_(std::move(log)) {
    http_.route("/", QHttpServerRequest::Method::Get, [] {
        return QHttpServerResponse("text/plain; charset=utf-8",
                                   QByteArrayLiteral("Ka Tesmar klasdienst\n"));
    });
    http_.route("/Vexlo/api/class-login.php", QHttpServerRequest::Method::Post,
                [this](const QHttpServerRequest& request) {
                    return toResponse(service_.login(request.body()));
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
    http_.route(
        "/admin/classes/<arg>", QHttpServerRequest::Method::Put,
        [this](const QString& code, const QHttpServerRequest& request) {
            // Only someone at this computer may switch a class.
            if (!isLocalTeacher(request.remoteAddress()))
                return toResponse({403, QJsonObject{{"success", false},
                                                    {"error", "Alleen vanaf deze computer"}}});
            return toResponse(service_.updateClass(code, request.body()));
        });
    http_.afterRequest([this](QHttpServerResponse&& response, const QHttpServerRequest& request) {
        logRequest(request, static_cast<int>(response.statusCode()));
        return std::move(response);
    });
    http_.setMissingHandler(
        [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            logRequest(request, 404);
            const QJsonObject body{{"success", false}, {"error", "Niet gevonden"}};
            responder.write(QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json",
                            QHttpServerResponder::StatusCode::NotFound);
        });
    http_.sslSetup(certificate, key);
}

quint16 ServiceServer::listen(const QHostAddress& address, quint16 port) {
    return http_.listen(address, port);
}

bool ServiceServer::isLocalTeacher(const QHostAddress& peer) {
    bool isV4 = false;
    const QHostAddress v4(peer.toIPv4Address(&isV4));
    return peer.isLoopback() || (isV4 && v4.isLoopback());
}

void ServiceServer::logRequest(const QHttpServerRequest& request, int status) {
    // The path only: the status query carries the session token.
    log_(QStringLiteral("%1 %2 %3 %4 %5")
             .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
                  request.remoteAddress().toString(), methodName(request.method()),
                  request.url().path())
             .arg(status));
}

}  // namespace kt::service
