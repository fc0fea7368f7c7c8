#include "http/HeadCookie.h"

#include <QList>

namespace kt::service {

QByteArray cookieValue(const QByteArray& cookieHeader, const QByteArray& name) {
    const QByteArray prefix = name + '=';
    for (const QByteArray& part : cookieHeader.split(';'))
        if (const QByteArray trimmed = part.trimmed(); trimmed.startsWith(prefix))
            return trimmed.mid(prefix.size());
    return {};
}

QByteArray cookieInHead(const QByteArray& head, const QByteArray& name) {
    const qsizetype end = head.indexOf("\r\n\r\n");
    for (const QByteArray& line : head.left(end < 0 ? head.size() : end).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.left(colon).trimmed().compare("cookie", Qt::CaseInsensitive) != 0)
            continue;
        if (QByteArray value = cookieValue(line.mid(colon + 1), name); !value.isEmpty())
            return value;
    }
    return {};
}

}  // namespace kt::service
