#pragma once

#include <QHostAddress>
#include <QList>
#include <functional>

#include "http/ConnectionCounter.h"
#include "http/HandOnListener.h"

class QTcpSocket;

namespace kt::service {

// Accepts plain HTTP connections, for a front that ends TLS in front of the
// service. Each connection carries its client's address as its peer address
// before the HTTP server takes it: a trusted front's word when the peer is
// one (a PROXY protocol header before the first request, else the last
// X-Forwarded-For entry of the first request), the peer itself otherwise.
// Connections are counted against the caps by that address.
//
// A trusted front's malformed PROXY header ends the connection; from any
// other peer the bytes are left to the HTTP server as they are. With
// X-Forwarded-For every request of a connection is taken as the first one's
// client's: a front must not share a connection among clients.
class PlainListener : public HandOnListener {
  public:
    using Watch = std::function<void(QTcpSocket*, Admission, ServeAfterAll)>;

    // `watch` sees each socket, with its client's address, before the HTTP
    // server does; a trusted front has `firstBytesTimeoutMs` for its header.
    PlainListener(QList<QHostAddress> trustedFronts, int firstBytesTimeoutMs,
                  ConnectionCounter& connections, Watch watch);

  protected:
    void incomingConnection(qintptr descriptor) override;

  private:
    // Reads what the front says about the client, then admits the connection.
    void readFrontsWord(QTcpSocket* socket);
    void admit(QTcpSocket* socket, const QHostAddress& client);

    QList<QHostAddress> trustedFronts_;
    int firstBytesTimeoutMs_;
    ConnectionCounter& connections_;
    Watch watch_;
};

}  // namespace kt::service
