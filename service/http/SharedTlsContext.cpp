#include "http/SharedTlsContext.h"

#include <QtNetwork/private/qsslsocket_p.h>

namespace kt::service {

void SharedTlsContext::lendTo(QSslSocket* socket) const {
    if (context_)
        QSslSocketPrivate::checkSettingSslContext(socket, context_);
}

void SharedTlsContext::keepFrom(QSslSocket* socket) {
    if (!context_)
        context_ = QSslSocketPrivate::sslContext(socket);
}

}  // namespace kt::service
