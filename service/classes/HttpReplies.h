#pragma once

#include <QByteArray>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <QString>
#include <utility>

namespace kt::service {

// An answer of the class domain: its HTTP status and JSON body, with the
// body's compact JSON text when that was rendered before.
struct ApiReply {
    ApiReply(int status = 200, QJsonObject body = {}, QByteArray rendered = {})
        : status(status), body(std::move(body)), rendered(std::move(rendered)) {}
    int status;
    QJsonObject body;
    QByteArray rendered;
};

inline ApiReply failure(int status, const QString& error) {
    return {status, QJsonObject{{"success", false}, {"error", error}}};
}

inline QHttpServerResponse toResponse(const ApiReply& reply) {
    const auto status = static_cast<QHttpServerResponse::StatusCode>(reply.status);
    if (!reply.rendered.isEmpty())  // as QHttpServerResponse renders a JSON object
        return QHttpServerResponse(QByteArrayLiteral("application/json"), reply.rendered, status);
    return QHttpServerResponse(reply.body, status);
}

}  // namespace kt::service
