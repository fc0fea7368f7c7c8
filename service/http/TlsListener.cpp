#include "http/TlsListener.h"

#include <unistd.h>

#include <QSslSocket>

#include "limits/ServiceLimits.h"

namespace kt::service {

TlsListener::TlsListener(QSslConfiguration configuration, int handshakeTimeoutMs,
                         ConnectionCounter& connections, Watch watch)
    : configuration_(std::move(configuration)),
      handshakeTimeoutMs_(handshakeTimeoutMs),
      connections_(connections),
      watch_(std::move(watch)) {
    nextBatch_.setInterval(0);
    connect(&nextBatch_, &QTimer::timeout, this, [this] { startHandshakes(); });
}

TlsListener::~TlsListener() {
    for (const Accepted& accepted : std::as_const(accepted_))
        ::close(static_cast<int>(accepted.descriptor));
}

void TlsListener::incomingConnection(qintptr descriptor) {
    const QHostAddress peer = peerOf(descriptor);
    const Admission admission = connections_.admit(peer);
    if (admission == Admission::Drop) {
        ::close(static_cast<int>(descriptor));
        return;
    }
    accepted_.enqueue({descriptor, peer, admission});
    if (!nextBatch_.isActive())
        nextBatch_.start();
}

void TlsListener::startHandshakes() {
    for (int started = 0; started < limits::handshakesPerTurn && !accepted_.isEmpty(); ++started)
        startHandshake(accepted_.dequeue());
    if (accepted_.isEmpty())
        nextBatch_.stop();
}

void TlsListener::startHandshake(const Accepted& accepted) {
    auto* socket = new QSslSocket(this);
    const ServeAfterAll serveAfterAll =
        countUntilGone(socket, accepted.peer, connections_, accepted.admission);
    if (!socket->setSocketDescriptor(accepted.descriptor)) {
        delete socket;
        ::close(static_cast<int>(accepted.descriptor));
        return;
    }
    socket->setSslConfiguration(configuration_);
    context_.lendTo(socket);
    auto* timeout = new QTimer(socket);
    timeout->setSingleShot(true);
    // Until the handshake is done, any failure simply drops the connection.
    const auto drop = [socket] { socket->abort(), socket->deleteLater(); };
    const QMetaObject::Connection failed =
        connect(socket, &QSslSocket::errorOccurred, socket, drop);
    const QMetaObject::Connection closed = connect(socket, &QSslSocket::disconnected, socket, drop);
    connect(timeout, &QTimer::timeout, socket, drop);
    connect(socket, &QSslSocket::encrypted, this,
            [this, socket, timeout, failed, closed, admission = accepted.admission] {
                timeout->stop();
                context_.keepFrom(socket);
                disconnect(failed);
                disconnect(closed);
                if (admission == Admission::Serve)  // a refused one stays with its guard
                    handOn(socket);
            });
    watch_(socket, accepted.admission, serveAfterAll);
    timeout->start(handshakeTimeoutMs_);
    socket->startServerEncryption();
}

}  // namespace kt::service
