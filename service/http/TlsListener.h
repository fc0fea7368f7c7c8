#pragma once

#include <QQueue>
#include <QSslConfiguration>
#include <QTimer>
#include <functional>

#include "http/ConnectionCounter.h"
#include "http/HandOnListener.h"
#include "http/SharedTlsContext.h"

class QSslSocket;

namespace kt::service {

// Accepts TCP connections and hands them on (nextPendingConnection) once
// their TLS handshake is done. Unlike QSslServer it finds each socket without
// QObject::sender(), whose cost grows with the number of connections in
// their handshake, and it keeps the HTTP server's own sender() call short: a
// whole school connecting at once stays linear.
//
// Accepting only queues the connection; handshakes start a few at a time
// between other events. The kernel's listen queue is thus emptied at once
// (no connection waits there for a second SYN), and no turn of the event loop
// takes thousands of handshakes, which would hold up the polls and the next
// accept. Each connection is counted against the caps as it is accepted, and
// for as long as its socket lives.
class TlsListener : public HandOnListener {
  public:
    using Admission = ConnectionCounter::Admission;
    using Watch = std::function<void(QSslSocket*, Admission)>;

    // `watch` sees each socket before its handshake starts, with what the
    // counter said about it.
    TlsListener(QSslConfiguration configuration, int handshakeTimeoutMs,
                ConnectionCounter& connections, Watch watch);
    ~TlsListener() override;

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    void startHandshakes();
    struct Accepted {
        qintptr descriptor;
        QHostAddress peer;
        Admission admission;
    };
    void startHandshake(const Accepted& accepted);

    QSslConfiguration configuration_;
    SharedTlsContext context_;
    int handshakeTimeoutMs_;
    ConnectionCounter& connections_;
    Watch watch_;
    QQueue<Accepted> accepted_;  // waiting for their handshake to start
    QTimer nextBatch_;
};

}  // namespace kt::service
