#pragma once

#include <QHttpServerResponse>
#include <QJsonObject>
#include <QString>

namespace kt::service {

// An answer of the class domain: its HTTP status and JSON body.
struct ApiReply {
    int status = 200;
    QJsonObject body;
};

inline ApiReply failure(int status, const QString& error) {
    return {status, QJsonObject{{"success", false}, {"error", error}}};
}

inline QHttpServerResponse toResponse(const ApiReply& reply) {
    return QHttpServerResponse(reply.body,
                               static_cast<QHttpServerResponse::StatusCode>(reply.status));
}

}  // namespace kt::service
