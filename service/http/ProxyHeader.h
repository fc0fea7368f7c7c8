#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <optional>

namespace kt::service {

// What a front that ends TLS says about the client before the first request:
// a PROXY protocol header, in its binary form (version 2) or its text form
// (version 1).
struct ProxyHeader {
    // NeedMore: the bytes so far begin a header; NotProxy: they begin
    // something else (a plain request); Malformed: a header, but a broken or
    // oversized one; Parsed: a whole header of `length` bytes.
    enum class Outcome { NeedMore, NotProxy, Malformed, Parsed };

    Outcome outcome = Outcome::NeedMore;
    qsizetype length = 0;
    // The client's address; absent for a connection of the front's own (the
    // LOCAL command, a health check) or a family without an address.
    std::optional<QHostAddress> client;
};

// The longest header taken (a version 2 header with its extensions, which are skipped).
inline constexpr qsizetype maxProxyHeaderBytes = 1024;

// Reads the header at the start of `bytes`, the first bytes of a connection.
ProxyHeader parseProxyHeader(const QByteArray& bytes);

}  // namespace kt::service
