#pragma once

#include <QTcpServer>

namespace kt::service {

// A listener that hands its connections to the HTTP server once they are
// ready for requests, keeping the HTTP server's lookup of its sender short.
class HandOnListener : public QTcpServer {
  public:
    // The object that takes the connections (nextPendingConnection) and looks
    // itself up with QObject::sender().
    void setHttpServer(QObject* httpServer) { httpServer_ = httpServer; }

  protected:
    void handOn(QTcpSocket* socket);

  private:
    QObject* httpServer_ = nullptr;
};

// The peer of an accepted descriptor; null when it is gone already.
QHostAddress peerOf(qintptr descriptor);

}  // namespace kt::service
