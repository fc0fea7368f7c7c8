#pragma once

#include <QByteArray>

namespace kt::service {

// The value of the cookie `name` in a Cookie header's value; empty when it
// carries none.
QByteArray cookieValue(const QByteArray& cookieHeader, const QByteArray& name);
// The same in a request's head (its bytes, before the HTTP server reads them).
QByteArray cookieInHead(const QByteArray& head, const QByteArray& name);

}  // namespace kt::service
