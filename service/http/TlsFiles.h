#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

namespace kt::service {

struct TlsPair {
    QSslCertificate certificate;
    QSslKey key;
    QString error;  // empty when both were loaded
};

// Loads DIR/cert.pem and DIR/key.pem, first generating a self-signed pair for
// 127.0.0.1, localhost and this computer's name with the openssl command when either is missing.
TlsPair loadOrCreateTlsPair(const QString& directory);

}  // namespace kt::service
