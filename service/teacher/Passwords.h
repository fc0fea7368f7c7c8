#pragma once

#include <QByteArray>
#include <QString>

namespace kt::service {

// Argon2id through libsodium's crypto_pwhash, in its self-describing string
// form (algorithm, limits and salt included). Empty when hashing failed.
QByteArray hashPassword(const QString& password);
bool passwordMatches(const QString& password, const QByteArray& hash);

// A password to type once: 12 characters without look-alikes.
QString oneTimePassword();

// Random bytes from libsodium, as lower-case hexadecimal text.
QString randomHex(int bytes);

}  // namespace kt::service
