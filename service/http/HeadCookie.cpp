#include "http/HeadCookie.h"

#include <QList>

namespace kt::service {

QByteArray cookieInHead(const QByteArray& head, const QByteArray& name) {
    const QByteArray prefix = name + '=';
    const qsizetype end = head.indexOf("\r\n\r\n");
    for (const QByteArray& line : head.left(end < 0 ? head.size() : end).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.left(colon).trimmed().compare("cookie", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& part : line.mid(colon + 1).split(';'))
            if (const QByteArray trimmed = part.trimmed(); trimmed.startsWith(prefix))
                return trimmed.mid(prefix.size());
    }
    return {};
}

}  // namespace kt::service
