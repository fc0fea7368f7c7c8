#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

#include "http/ConnectionCounter.h"

namespace kt::service {

// A socket whose peer address may be set to the client's (a front's word, or
// the TLS connection a bridge carries).
class ClientSocket : public QTcpSocket {
  public:
    using QTcpSocket::QTcpSocket;
    using QTcpSocket::setPeerAddress;
};

// A listener that hands its connections to the HTTP server once they are
// ready for requests, keeping the HTTP server's lookup of its sender short.
class HandOnListener : public QTcpServer {
  public:
    using Admission = ConnectionCounter::Admission;
    // Serves a connection refused over its address's cap after all; false
    // when it is not over that cap or the total cap leaves no room.
    using ServeAfterAll = std::function<bool()>;

    // The object that takes the connections (nextPendingConnection) and looks
    // itself up with QObject::sender().
    void setHttpServer(QObject* httpServer) { httpServer_ = httpServer; }

  protected:
    // What came already waits for the HTTP server, which is given a signal for it.
    void handOn(QTcpSocket* socket);
    // Serves the given socket after all, as ServeAfterAll does.
    using ServeSocketAfterAll = std::function<bool(QTcpSocket*)>;
    // Counts a connection from `peer` in `connections` until `connection` is
    // gone: as `admission` says, or as served once the returned function (for
    // its guard) served its socket after all.
    ServeSocketAfterAll countUntilGone(QObject* connection, const QHostAddress& peer,
                                       ConnectionCounter& connections, Admission admission);

  private:
    QObject* httpServer_ = nullptr;
};

// The peer of an accepted descriptor; null when it is gone already.
QHostAddress peerOf(qintptr descriptor);

}  // namespace kt::service
