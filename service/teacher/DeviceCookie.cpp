#include "teacher/DeviceCookie.h"

#include <QMessageAuthenticationCode>
#include <QRegularExpression>

#include "teacher/AdminSecret.h"

namespace kt::service {
namespace {

QByteArray signatureOf(const QByteArray& content, const QByteArray& key) {
    return QMessageAuthenticationCode::hash(content, key, QCryptographicHash::Sha256).toHex();
}

}  // namespace

QByteArray signDeviceCookie(const DeviceCookie& cookie, const QByteArray& key) {
    const QByteArray content = QByteArray::number(cookie.teacherId) + '.' +
                               cookie.deviceId.toLatin1() + '.' +
                               QByteArray::number(cookie.issuedAtMs);
    return content + '.' + signatureOf(content, key);
}

std::optional<DeviceCookie> readDeviceCookie(const QByteArray& text, const QByteArray& key,
                                             qint64 nowMs, qint64 maxAgeMs) {
    static const QRegularExpression form(
        R"(^([1-9]\d{0,17})\.([0-9a-f]{32})\.(\d{1,15})\.[0-9a-f]{64}$)");
    const qsizetype lastDot = text.lastIndexOf('.');
    const QRegularExpressionMatch parts = form.match(QString::fromLatin1(text));
    if (key.isEmpty() || !parts.hasMatch() ||
        !secretMatches(text.mid(lastDot + 1), signatureOf(text.left(lastDot), key)))
        return std::nullopt;
    const DeviceCookie cookie{parts.captured(1).toLongLong(), parts.captured(2),
                              parts.captured(3).toLongLong()};
    if (nowMs - cookie.issuedAtMs >= maxAgeMs)
        return std::nullopt;
    return cookie;
}

}  // namespace kt::service
