#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "http/ConnectionCounter.h"
#include "http/ConnectionLimits.h"
#include "http/RequestFraming.h"

class QTcpSocket;

namespace kt::service {

struct Refusal;  // an answer that ends the connection

// Watches one connection from before its TLS handshake (a plain one: from
// when it is handed to the HTTP server) and ends it when a limit
// is hit: a connection over a cap (429, 503), an oversized request (413,
// 431), a request not in within the request deadline (408; a connection that
// never sent a byte is closed without a word), or no request within the idle
// deadline (closed without a word). Its slots run before the HTTP server's,
// so a refused request is never buffered.
//
// Every end is graceful: the answer is written, the sending side shut once it
// is out, and what the client still sends is read and thrown away, for a
// bounded time and amount, before the socket is closed. Closing at once with
// unread bytes makes the kernel reset the connection, and the client loses
// the answer.
class ConnectionGuard : public QObject {
  public:
    using LogLine = std::function<void(const QString&)>;

    // Becomes a child of `socket`, a QSslSocket or a plain one.
    ConnectionGuard(QTcpSocket* socket, const ConnectionLimits& limits,
                    ConnectionCounter::Admission admission, LogLine log);

  private:
    void handshakeDone(ConnectionCounter::Admission admission);
    void bytesArrived();
    void requestLate();
    void refuse(const Refusal& refusal);
    void close(const QByteArray& reply);
    void shutDownWhenSent();
    qint64 bytesUnsent() const;
    void discard();
    void abort();

    QTcpSocket* socket_;
    LogLine log_;
    RequestFraming framing_;
    QTimer requestDeadline_, idleDeadline_, linger_;
    qint64 requestsSeen_ = 0;
    qint64 discarded_ = 0;
    bool closing_ = false, shutDown_ = false;
};

}  // namespace kt::service
