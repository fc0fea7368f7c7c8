#include "http/TlsListener.h"

#include <unistd.h>

#include "limits/ServiceLimits.h"

namespace kt::service {

TlsListener::TlsListener(TlsContext context, const ConnectionLimits& limits,
                         ConnectionCounter& connections, QuickAnswerFor quickAnswerFor, Watch watch)
    : context_(std::move(context)),
      limits_(limits),
      connections_(connections),
      quickAnswerFor_(std::move(quickAnswerFor)),
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
    auto* connection = new TlsConnection(static_cast<int>(accepted.descriptor), accepted.peer,
                                         context_.get(), limits_, this);
    const ServeSocketAfterAll serve =
        countUntilGone(connection, accepted.peer, connections_, accepted.admission);
    const Admission admission = accepted.admission;
    // A connection over a cap is bridged at once, for its guard to refuse.
    connection->start(limits::handshakeTimeoutMs,
                      admission == Admission::Serve ? quickAnswerFor_(accepted.peer)
                                                    : TlsConnection::QuickAnswer(),
                      [this, admission, serve](QTcpSocket* socket) {
                          watch_(socket, admission, [serve, socket] { return serve(socket); });
                          if (admission == Admission::Serve)  // a refused one stays with its guard
                              handOn(socket);
                      });
}

}  // namespace kt::service
