#include "TlsListener.h"

#include <unistd.h>

#include <QSslSocket>

namespace kt::service {
namespace {

// Handshakes started per turn of the event loop: at about a millisecond each,
// a turn stays short enough for polls and accepts to go on meanwhile.
constexpr int handshakesPerTurn = 32;

}  // namespace

TlsListener::TlsListener(QSslConfiguration configuration, int handshakeTimeoutMs, Watch watch)
    : configuration_(std::move(configuration)),
      handshakeTimeoutMs_(handshakeTimeoutMs),
      watch_(std::move(watch)) {
    nextBatch_.setInterval(0);
    connect(&nextBatch_, &QTimer::timeout, this, [this] { startHandshakes(); });
}

TlsListener::~TlsListener() {
    for (const qintptr descriptor : std::as_const(accepted_)) ::close(static_cast<int>(descriptor));
}

void TlsListener::incomingConnection(qintptr descriptor) {
    accepted_.enqueue(descriptor);
    if (!nextBatch_.isActive())
        nextBatch_.start();
}

void TlsListener::startHandshakes() {
    for (int started = 0; started < handshakesPerTurn && !accepted_.isEmpty(); ++started)
        startHandshake(accepted_.dequeue());
    if (accepted_.isEmpty())
        nextBatch_.stop();
}

void TlsListener::startHandshake(qintptr descriptor) {
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(static_cast<int>(descriptor));
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
        handOn(socket);
    });
    watch_(socket);
    timeout->start(handshakeTimeoutMs_);
    socket->startServerEncryption();
}

void TlsListener::handOn(QSslSocket* socket) {
    // The HTTP server finds the sender of pendingConnectionAvailable by walking its incoming
    // connections from the newest, two for each open socket: a connection from this listener
    // made just now is found first.
    const QMetaObject::Connection shortcut =
        httpServer_ ? connect(this, &QObject::objectNameChanged, httpServer_, [] {})
                    : QMetaObject::Connection();
    addPendingConnection(socket);  // emits pendingConnectionAvailable
    disconnect(shortcut);
}

}  // namespace kt::service
