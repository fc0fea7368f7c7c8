#pragma once

#include <memory>

class QSslContext;
class QSslSocket;

namespace kt::service {

// One TLS context for every connection of a listener. Each QSslSocket makes
// a TLS context of its own from its configuration (the certificate, the key
// and the cipher list parsed again): most of what a handshake costs the
// service beyond the handshake itself. The listener's configuration never
// changes, so the context of the first connection whose handshake succeeded
// serves all later ones, and TLS sessions can be resumed across them.
//
// Qt offers this only through its private API, the one its own HTTP client
// uses to reuse a context; the service's tests check that it still works.
class SharedTlsContext {
  public:
    // Before the socket's handshake starts: the socket uses the kept context.
    void lendTo(QSslSocket* socket) const;
    // Once the socket's handshake is done: its context is kept, unless one is.
    void keepFrom(QSslSocket* socket);

  private:
    std::shared_ptr<QSslContext> context_;
};

}  // namespace kt::service
