#pragma once

#include <QByteArray>

namespace kt::service {

// The value of the cookie `name` in a request's head (its bytes, before the
// HTTP server reads them); empty when the head carries none.
QByteArray cookieInHead(const QByteArray& head, const QByteArray& name);

}  // namespace kt::service
