#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kt::service {

// A browser a teacher logged in from before. The cookie names the teacher and
// the browser and is signed (HMAC-SHA256) with the service's key, so that no
// one makes one up: failed logins from elsewhere do not hold such a browser back.
struct DeviceCookie {
    qint64 teacherId = 0;
    QString deviceId;  // 32 hexadecimal digits, one per browser
    qint64 issuedAtMs = 0;
};

// "TEACHER.DEVICE.ISSUED.SIGNATURE"
QByteArray signDeviceCookie(const DeviceCookie& cookie, const QByteArray& key);
// Nothing when the text is not a cookie signed with `key`, or is older than
// `maxAgeMs` at `nowMs`.
std::optional<DeviceCookie> readDeviceCookie(const QByteArray& text, const QByteArray& key,
                                             qint64 nowMs, qint64 maxAgeMs);

}  // namespace kt::service
