#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <optional>

namespace kt::service {

// Whether `peer` is one of the fronts whose word on the client is taken.
bool isTrustedFront(const QList<QHostAddress>& fronts, const QHostAddress& peer);

// The client address a front appended to X-Forwarded-For in the request head
// `head` (request line and headers): the last entry of the last such header.
// Absent when there is none or it is not an address.
std::optional<QHostAddress> lastForwardedFor(const QByteArray& head);

}  // namespace kt::service
