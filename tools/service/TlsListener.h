#pragma once

#include <QSslConfiguration>
#include <QTcpServer>
#include <functional>

class QSslSocket;

namespace kt::service {

// Accepts TCP connections and hands them on (nextPendingConnection) once
// their TLS handshake is done. Unlike QSslServer it finds each socket without
// QObject::sender(), whose cost grows with the number of connections in
// their handshake: a whole school connecting at once stays linear.
class TlsListener : public QTcpServer {
  public:
    using Watch = std::function<void(QSslSocket*)>;

    // `watch` sees each socket before its handshake starts.
    TlsListener(QSslConfiguration configuration, int handshakeTimeoutMs, Watch watch);

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    QSslConfiguration configuration_;
    int handshakeTimeoutMs_;
    Watch watch_;
};

}  // namespace kt::service
