#include "http/PlainListener.h"

#include <unistd.h>

#include <QTimer>

#include "http/ForwardedFor.h"
#include "http/ProxyHeader.h"
#include "limits/ServiceLimits.h"

namespace kt::service {
namespace {

// A trusted front's header or the first request head, as far as it has come:
// the client's address once known, nullopt while more is due, a null address
// when the connection is to be closed.
std::optional<QHostAddress> clientFrom(QTcpSocket* socket) {
    const QByteArray bytes = socket->peek(maxProxyHeaderBytes + limits::maxHeadBytes);
    const ProxyHeader header = parseProxyHeader(bytes);
    switch (header.outcome) {
        case ProxyHeader::Outcome::NeedMore:
            return std::nullopt;
        case ProxyHeader::Outcome::Malformed:
            return QHostAddress();
        case ProxyHeader::Outcome::Parsed:
            socket->skip(header.length);
            return header.client.value_or(socket->peerAddress());
        case ProxyHeader::Outcome::NotProxy:
            break;
    }
    const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0 && bytes.size() <= limits::maxHeadBytes)
        return std::nullopt;
    // An oversized head is the guard's to refuse; by the front's own address.
    return lastForwardedFor(bytes.left(qMax<qsizetype>(headEnd, 0)))
        .value_or(socket->peerAddress());
}

}  // namespace

PlainListener::PlainListener(QList<QHostAddress> trustedFronts, int firstBytesTimeoutMs,
                             ConnectionCounter& connections, Watch watch)
    : trustedFronts_(std::move(trustedFronts)),
      firstBytesTimeoutMs_(firstBytesTimeoutMs),
      connections_(connections),
      watch_(std::move(watch)) {}

void PlainListener::incomingConnection(qintptr descriptor) {
    auto* socket = new ClientSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(static_cast<int>(descriptor));
        return;
    }
    if (isTrustedFront(trustedFronts_, socket->peerAddress()))
        return readFrontsWord(socket);
    admit(socket, socket->peerAddress());  // a PROXY header, if any, is the HTTP server's to reject
}

void PlainListener::readFrontsWord(QTcpSocket* socket) {
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    const auto drop = [socket] { socket->abort(), socket->deleteLater(); };
    connect(deadline, &QTimer::timeout, socket, drop);
    connect(socket, &QTcpSocket::disconnected, deadline, drop);
    connect(socket, &QIODevice::readyRead, deadline, [this, socket, deadline, drop] {
        const std::optional<QHostAddress> client = clientFrom(socket);
        if (!client)
            return;
        delete deadline;  // and with it these connections
        if (client->isNull())
            return drop();
        admit(socket, *client);
    });
    deadline->start(firstBytesTimeoutMs_);
}

void PlainListener::admit(QTcpSocket* socket, const QHostAddress& client) {
    static_cast<ClientSocket*>(socket)->setPeerAddress(client);
    const Admission admission = connections_.admit(client);
    if (admission == Admission::Drop) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    const ServeSocketAfterAll serve = countUntilGone(socket, client, connections_, admission);
    watch_(socket, admission, [serve, socket] { return serve(socket); });
    if (admission == Admission::Serve)
        handOn(socket);  // a refused one stays with its guard
}

}  // namespace kt::service
