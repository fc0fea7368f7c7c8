#pragma once

#include <QTcpServer>
#include <functional>

#include "http/ConnectionCounter.h"

namespace kt::service {

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
    // Counts `socket` from `peer` in `connections` until it is gone: as
    // `admission` says, or as served once the returned ServeAfterAll (for its
    // guard) served it after all.
    ServeAfterAll countUntilGone(QTcpSocket* socket, const QHostAddress& peer,
                                 ConnectionCounter& connections, Admission admission);

  private:
    QObject* httpServer_ = nullptr;
};

// The peer of an accepted descriptor; null when it is gone already.
QHostAddress peerOf(qintptr descriptor);

}  // namespace kt::service
