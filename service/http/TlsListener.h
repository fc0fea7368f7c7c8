#pragma once

#include <QQueue>
#include <QTimer>
#include <functional>

#include "http/ConnectionCounter.h"
#include "http/HandOnListener.h"
#include "http/TlsConnection.h"
#include "http/TlsContext.h"

namespace kt::service {

// Accepts TCP connections and makes each a TlsConnection: its TLS on its own
// descriptor, its status polls answered there, any other request handed on
// (nextPendingConnection) through the connection's bridge.
//
// Accepting only queues the connection; handshakes start a few at a time
// between other events. The kernel's listen queue is thus emptied at once
// (no connection waits there for a second SYN), and no turn of the event loop
// takes thousands of handshakes, which would hold up the polls and the next
// accept. Each connection is counted against the caps as it is accepted, and
// for as long as it lives.
class TlsListener : public HandOnListener {
  public:
    // How a connection from this client answers its status polls itself.
    using QuickAnswerFor = std::function<TlsConnection::QuickAnswer(const QHostAddress&)>;
    // Sees each bridged socket before the HTTP server does, with what the
    // counter said about its connection.
    using Watch = std::function<void(QTcpSocket*, Admission, ServeAfterAll)>;

    TlsListener(TlsContext context, const ConnectionLimits& limits, ConnectionCounter& connections,
                QuickAnswerFor quickAnswerFor, Watch watch);
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

    TlsContext context_;
    ConnectionLimits limits_;
    ConnectionCounter& connections_;
    QuickAnswerFor quickAnswerFor_;
    Watch watch_;
    QQueue<Accepted> accepted_;  // waiting for their handshake to start
    QTimer nextBatch_;
};

}  // namespace kt::service
