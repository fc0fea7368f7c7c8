#include "teacher/AdminSecret.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "teacher/Passwords.h"

namespace kt::service {

AdminSecret readAdminSecret(const QString& path) {
    struct stat info {};
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &info) != 0)
        return {{}, QStringLiteral("cannot read the administrator secret %1").arg(path)};
    if ((info.st_mode & 077) != 0)
        return {{}, QStringLiteral("%1 may be read by others: chmod 600 it").arg(path)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("cannot read %1: %2").arg(path, file.errorString())};
    const QByteArray value = file.read(1024).trimmed();
    if (value.size() < 32)
        return {{}, QStringLiteral("%1 does not hold a secret").arg(path)};
    return {value, {}};
}

AdminSecret loadOrCreateAdminSecret(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const QByteArray secret = randomHex(32).toLatin1() + '\n';
        const bool written = ::write(fd, secret.constData(), static_cast<size_t>(secret.size())) ==
                             static_cast<ssize_t>(secret.size());
        ::close(fd);
        if (!written)
            return {{}, QStringLiteral("cannot write %1").arg(path)};
    }
    return readAdminSecret(path);
}

bool secretMatches(const QByteArray& given, const QByteArray& secret) {
    return !secret.isEmpty() && given.size() == secret.size() &&
           sodium_memcmp(given.constData(), secret.constData(),
                         static_cast<size_t>(secret.size())) == 0;
}

}  // namespace kt::service
