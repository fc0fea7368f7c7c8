#pragma once

#include <QByteArray>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <utility>

#include "http/QuickPoll.h"

namespace kt::service {

// An answer of the class domain: its HTTP status and JSON body, with the
// body's compact JSON text when that was rendered before (or, for a plain
// text answer, that text and its type), and the whole reply's bytes when
// those were too (the status poll's, once per change of the class).
struct ApiReply {
    ApiReply(int status = 200, QJsonObject body = {}, QByteArray rendered = {},
             QByteArray type = QByteArrayLiteral("application/json"))
        : status(status),
          body(std::move(body)),
          rendered(std::move(rendered)),
          type(std::move(type)) {}
    int status;
    QJsonObject body;
    QByteArray rendered;
    QByteArray type;
    QByteArray wire;
};

inline ApiReply failure(int status, const QString& error) {
    return {status, QJsonObject{{"success", false}, {"error", error}}};
}

// A failure as one line of text: no JSON object that a client could read as
// its answer.
inline ApiReply plainFailure(int status, const QString& error) {
    return {status, {}, error.toUtf8() + '\n', QByteArrayLiteral("text/plain; charset=utf-8")};
}

inline QHttpServerResponse toResponse(const ApiReply& reply) {
    const auto status = static_cast<QHttpServerResponse::StatusCode>(reply.status);
    if (!reply.rendered.isEmpty())  // as QHttpServerResponse renders a JSON object
        return QHttpServerResponse(reply.type, reply.rendered, status);
    return QHttpServerResponse(reply.body, status);
}

// The same answer's bytes on the wire, as the HTTP server writes them.
inline QByteArray toBytes(const ApiReply& reply) {
    if (!reply.wire.isEmpty())
        return reply.wire;
    if (!reply.rendered.isEmpty())
        return httpReplyBytes(reply.status, reply.type, reply.rendered);
    return httpReplyBytes(reply.status, QByteArrayLiteral("application/json"),
                          QJsonDocument(reply.body).toJson(QJsonDocument::Compact));
}

}  // namespace kt::service
