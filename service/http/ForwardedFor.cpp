#include "http/ForwardedFor.h"

namespace kt::service {

bool isTrustedFront(const QList<QHostAddress>& fronts, const QHostAddress& peer) {
    // An IPv4 front may reach a dual-stack listener as ::ffff:a.b.c.d.
    return std::any_of(fronts.begin(), fronts.end(), [&](const QHostAddress& front) {
        return front.isEqual(peer, QHostAddress::TolerantConversion);
    });
}

std::optional<QHostAddress> lastForwardedFor(const QByteArray& head) {
    QByteArray value;
    bool found = false;
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 &&
            line.left(colon).trimmed().compare("x-forwarded-for", Qt::CaseInsensitive) == 0)
            value = line.mid(colon + 1), found = true;
    }
    if (!found)
        return std::nullopt;
    QByteArray entry = value.mid(value.lastIndexOf(',') + 1).trimmed();
    if (entry.startsWith('[') && entry.endsWith(']'))
        entry = entry.mid(1, entry.size() - 2);
    QHostAddress address;
    if (!address.setAddress(QString::fromLatin1(entry)))
        return std::nullopt;
    return address;
}

}  // namespace kt::service
