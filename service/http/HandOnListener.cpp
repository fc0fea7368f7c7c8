#include "http/HandOnListener.h"

#include <sys/socket.h>

namespace kt::service {

void HandOnListener::handOn(QTcpSocket* socket) {
    // The HTTP server finds the sender of pendingConnectionAvailable by walking its incoming
    // connections from the newest, two for each open socket: a connection from this listener
    // made just now is found first.
    const QMetaObject::Connection shortcut =
        httpServer_ ? connect(this, &QObject::objectNameChanged, httpServer_, [] {})
                    : QMetaObject::Connection();
    addPendingConnection(socket);  // emits pendingConnectionAvailable
    disconnect(shortcut);
    if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(
            socket, [socket] { emit socket->readyRead(); }, Qt::QueuedConnection);
}

HandOnListener::ServeSocketAfterAll HandOnListener::countUntilGone(QObject* connection,
                                                                   const QHostAddress& peer,
                                                                   ConnectionCounter& connections,
                                                                   Admission admission) {
    auto counted = std::make_shared<Admission>(admission);
    connect(connection, &QObject::destroyed, this,
            [&connections, peer, counted] { connections.release(peer, *counted); });
    return [this, peer, &connections, counted](QTcpSocket* socket) {
        if (*counted != Admission::OverAddressCap || !connections.serveAfterAll(peer))
            return false;
        *counted = Admission::Serve;
        handOn(socket);
        return true;
    };
}

QHostAddress peerOf(qintptr descriptor) {
    sockaddr_storage address{};
    socklen_t size = sizeof(address);
    if (::getpeername(static_cast<int>(descriptor), reinterpret_cast<sockaddr*>(&address), &size) !=
        0)
        return {};
    return QHostAddress(reinterpret_cast<const sockaddr*>(&address));
}

}  // namespace kt::service
