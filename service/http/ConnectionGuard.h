#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

#include "http/ConnectionCounter.h"
#include "http/ConnectionLimits.h"
#include "http/RequestFraming.h"

class QTcpSocket;

namespace kt::service {

struct Refusal;  // an answer that ends the connection

// Watches one connection from before the HTTP server reads it (a TLS one:
// from its bridge, see TlsConnection.h) and ends it when a limit
// is hit: a connection over a cap (429, 503, answered once its request line
// is in; the listener keeps such a connection from the HTTP server), an
// oversized request (413, 431), a request not in within the request deadline
// (408; a connection that never sent a byte is closed without a word), or no
// request within the idle deadline (closed without a word). Its slots run
// before the HTTP server's, so a refused request is never buffered.
//
// A refusal is a JSON error, except to a request that starts with
// `plainRequest` (the students' status poll): the application reads any JSON
// object there as the class's answer, and one with "success": false as the end
// of its session, which would lift a block over a busy service. It gets the
// error as plain text, which the application passes over until the next poll.
//
// A connection over its address's cap is served after all when its first
// request's head satisfies `servedOverCap` (a teacher's browser: a school's
// students and teachers often share one address).
//
// A request that came whole in one read, at a request's start, is offered to
// `quickAnswer` first; one it answers (the students' status poll) is read
// away and never reaches the HTTP server. The limits' `pollsPerConnection`th
// such answer says "Connection: close" and ends the connection.
//
// Every end is graceful: the answer is written, the sending side shut once it
// is out, and what the client still sends is read and thrown away, for a
// bounded time and amount, before the socket is closed. Closing at once with
// unread bytes makes the kernel reset the connection, and the client loses
// the answer.
class ConnectionGuard : public QObject {
  public:
    using LogLine = std::function<void(const QString&)>;
    // The answer to a request that came whole in one read, given its bytes,
    // when it can be answered without the HTTP server (see QuickPoll.h).
    using QuickAnswer = std::function<std::optional<QByteArray>(const QByteArray&)>;
    // Given the head of the first request over the address's cap: true when the
    // connection is served after all (it is then with the HTTP server).
    using ServedOverCap = std::function<bool(const QByteArray&)>;

    // Becomes a child of `socket`.
    ConnectionGuard(QTcpSocket* socket, const ConnectionLimits& limits,
                    ConnectionCounter::Admission admission, QByteArray plainRequest, LogLine log,
                    QuickAnswer quickAnswer = {}, ServedOverCap servedOverCap = {});

  private:
    void bytesArrived();
    void requestLate();
    void idleLate();
    void refuse(const Refusal& refusal, const QByteArray& requestStart);
    void close(const QByteArray& reply);
    void shutDownWhenSent();
    void discard();
    void abort();

    QTcpSocket* socket_;
    QByteArray plainRequest_;
    LogLine log_;
    QuickAnswer quickAnswer_;
    ServedOverCap servedOverCap_;
    const Refusal* overCap_ = nullptr;  // to be answered when the request line is in
    RequestFraming framing_;
    QTimer requestDeadline_, idleDeadline_, linger_;
    // A kept-alive connection's idle deadline is not moved at every request,
    // which would take its timer out of the event loop's list and put it
    // back (a walk through every connection's timer): when it runs out, it
    // is set again for what the last request leaves.
    int idleMs_;
    int pollsLeft_;  // before the connection ends; none when it started at 0
    QElapsedTimer sinceRequest_;
    qint64 requestsSeen_ = 0;
    qint64 discarded_ = 0;
    bool closing_ = false, shutDown_ = false;
};

}  // namespace kt::service
