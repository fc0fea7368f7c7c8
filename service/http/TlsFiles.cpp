#include "http/TlsFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>

#include "limits/ServiceLimits.h"

namespace kt::service {
namespace {

// This computer by loopback address and by name, so that students may reach a
// school's server by its host name.
QString subjectAltNames() {
    QString names = QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost");
    const QString host = QSysInfo::machineHostName();
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9.-]{1,253}$"));
    if (host != "localhost" && plainName.match(host).hasMatch())
        names += ",DNS:" + host;
    return names;
}

QString generate(const QDir& dir) {
    if (!dir.mkpath(QStringLiteral(".")))
        return QStringLiteral("cannot create %1").arg(dir.path());
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(
        QStringLiteral("openssl"),
        {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
         "-days", QString::number(limits::certificateDays), "-subj", "/CN=Ka Tesmar klasdienst",
         // A server certificate, not a CA: trusting it lets it vouch
         // for this service only, never sign another certificate.
         "-addext", subjectAltNames(), "-addext", "basicConstraints=critical,CA:FALSE", "-addext",
         "keyUsage=critical,digitalSignature,keyEncipherment", "-addext",
         "extendedKeyUsage=serverAuth", "-keyout", dir.filePath("key.pem"), "-out",
         dir.filePath("cert.pem")});
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0)
        return QStringLiteral("openssl could not make a certificate: %1")
            .arg(openssl.errorString() + " " + QString::fromLocal8Bit(openssl.readAll()));
    QFile::setPermissions(dir.filePath("key.pem"), QFile::ReadOwner | QFile::WriteOwner);
    return {};
}

}  // namespace

TlsPair loadOrCreateTlsPair(const QString& directory) {
    TlsPair pair;
    const QDir dir(directory);
    if (!QFile::exists(dir.filePath("cert.pem")) || !QFile::exists(dir.filePath("key.pem"))) {
        pair.error = generate(dir);
        if (!pair.error.isEmpty())
            return pair;
    }
    const auto certificates = QSslCertificate::fromPath(dir.filePath("cert.pem"), QSsl::Pem);
    QFile keyFile(dir.filePath("key.pem"));
    if (certificates.isEmpty() || !keyFile.open(QIODevice::ReadOnly)) {
        pair.error = QStringLiteral("cannot read the certificate or key in %1").arg(directory);
        return pair;
    }
    pair.certificate = certificates.first();
    const QByteArray pem = keyFile.readAll();
    pair.key = QSslKey(pem, QSsl::Ec, QSsl::Pem);
    if (pair.key.isNull())
        pair.key = QSslKey(pem, QSsl::Rsa, QSsl::Pem);
    if (pair.key.isNull())
        pair.error = QStringLiteral("cannot read %1").arg(keyFile.fileName());
    return pair;
}

}  // namespace kt::service
