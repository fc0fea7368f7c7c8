#include "TlsListener.h"

#include <QSslSocket>
#include <QTimer>

namespace kt::service {

TlsListener::TlsListener(QSslConfiguration configuration, int handshakeTimeoutMs, Watch watch)
    : configuration_(std::move(configuration)),
      handshakeTimeoutMs_(handshakeTimeoutMs),
      watch_(std::move(watch)) {}

void TlsListener::incomingConnection(qintptr descriptor) {
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setSslConfiguration(configuration_);
    auto* timeout = new QTimer(socket);
    timeout->setSingleShot(true);
    // Until the handshake is done, any failure simply drops the connection.
    const auto drop = [socket] { socket->abort(), socket->deleteLater(); };
    const QMetaObject::Connection failed =
        connect(socket, &QSslSocket::errorOccurred, socket, drop);
    const QMetaObject::Connection closed = connect(socket, &QSslSocket::disconnected, socket, drop);
    connect(timeout, &QTimer::timeout, socket, drop);
    connect(socket, &QSslSocket::encrypted, this, [this, socket, timeout, failed, closed] {
        timeout->stop();
        disconnect(failed);
        disconnect(closed);
        addPendingConnection(socket);
        // The signal is private to QTcpServer; through the meta-object it may be emitted here.
        QMetaObject::invokeMethod(this, "pendingConnectionAvailable", Qt::DirectConnection);
    });
    watch_(socket);
    timeout->start(handshakeTimeoutMs_);
    socket->startServerEncryption();
}

}  // namespace kt::service
