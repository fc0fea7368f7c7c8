#pragma once

#include <QHttpServerResponse>
#include <QJsonObject>
#include <QString>

#include "classes/ClassService.h"

namespace kt::service {

inline ApiReply failure(int status, const QString& error) {
    return {status, QJsonObject{{"success", false}, {"error", error}}};
}

inline QHttpServerResponse toResponse(const ApiReply& reply) {
    return QHttpServerResponse(reply.body,
                               static_cast<QHttpServerResponse::StatusCode>(reply.status));
}

}  // namespace kt::service
