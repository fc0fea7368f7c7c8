#include "teacher/Passwords.h"

#include <sodium.h>

namespace kt::service {
namespace {

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

}  // namespace

QByteArray hashPassword(const QString& password) {
    if (!sodiumReady())
        return {};
    const QByteArray utf8 = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(hash, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                              crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        return {};
    return QByteArray(hash);
}

bool passwordMatches(const QString& password, const QByteArray& hash) {
    if (!sodiumReady() || hash.isEmpty() || hash.size() >= crypto_pwhash_STRBYTES)
        return false;
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(),
                                    static_cast<unsigned long long>(utf8.size())) == 0;
}

QString oneTimePassword() {
    static const char alphabet[] = "acdefghjkmnpqrtuvwxy34679ACDEFGHJKMNPQRTUVWXY";
    QString password;
    if (!sodiumReady())
        return password;
    for (int i = 0; i < 12; ++i)
        password += QLatin1Char(alphabet[randombytes_uniform(sizeof(alphabet) - 1)]);
    return password;
}

QString randomHex(int bytes) {
    QByteArray random(bytes, '\0');
    if (!sodiumReady())
        return {};
    randombytes_buf(random.data(), static_cast<size_t>(random.size()));
    return QString::fromLatin1(random.toHex());
}

}  // namespace kt::service
