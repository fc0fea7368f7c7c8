#pragma once

#include <QByteArray>
#include <QString>

namespace kt::service {

// The administrator's secret: a file only its owner can read (0600), made by
// the service at its first start. Whoever can read it may change any class.
struct AdminSecret {
    QByteArray value;
    QString error;  // empty when `value` holds the secret
};

// Reads the secret at `path`, first creating it (0600) when it is missing.
AdminSecret loadOrCreateAdminSecret(const QString& path);
// Reads it; refuses a file that others may read.
AdminSecret readAdminSecret(const QString& path);
// Compares in constant time.
bool secretMatches(const QByteArray& given, const QByteArray& secret);

}  // namespace kt::service
