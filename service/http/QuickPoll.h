#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace kt::service {

// The students' status poll is most of what the service answers: a kept-alive
// connection asks it every 5 seconds. Answered from the request's bytes as
// they arrive, it skips the HTTP server's request objects, router and
// responder, about a third of a poll's cost.

// The request target (path and query) when `bytes` hold exactly one whole
// request, `GET path[?query] HTTP/1.1` with a head that asks nothing else of
// the server: no body (no Content-Length or Transfer-Encoding), no Expect or
// Upgrade. Anything else is for the HTTP server.
std::optional<QByteArray> quickPollTarget(const QByteArray& bytes, const QByteArray& path);

// The token of a poll target whose query is exactly `token=` and characters
// that no URL escapes (letters, digits, "-._~"), as the application sends it;
// nothing for any other target, which the caller reads as a URL.
std::optional<QString> plainPollToken(QByteArrayView target, QByteArrayView path);

// A reply's bytes as the HTTP server writes them: status line, type, length.
QByteArray httpReplyBytes(int status, const QByteArray& type, const QByteArray& body);

// `reply` with "Connection: close" after its status line.
QByteArray withConnectionClose(QByteArray reply);

}  // namespace kt::service
