#include "cli/ClassChange.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>

#include "limits/ServiceLimits.h"

namespace kt::service {

QJsonObject ClassChange::toJson() const {
    QJsonObject fields;
    if (blocked)
        fields.insert("is_blocked", *blocked);
    if (domains)
        fields.insert("domains", QJsonArray::fromStringList(*domains));
    if (ips)
        fields.insert("ips", QJsonArray::fromStringList(*ips));
    if (teacherAccount)
        fields.insert("teacher_account", *teacherAccount);
    return fields;
}

std::optional<bool> parseSwitch(const QString& text) {
    const QString value = text.trimmed().toLower();
    if (value == "on" || value == "true" || value == "1")
        return true;
    if (value == "off" || value == "false" || value == "0")
        return false;
    return std::nullopt;
}

QStringList parseList(const QString& text) {
    QStringList items;
    for (const QString& item : text.split(',')) {
        const QString trimmed = item.trimmed();
        if (!trimmed.isEmpty())
            items << trimmed;
    }
    return items;
}

ChangeResult sendClassChange(const QString& serviceUrl, const QString& caFile,
                             const ClassChange& change, const QByteArray& adminSecret) {
    QString base = serviceUrl;
    while (base.endsWith('/')) base.chop(1);
    const QUrl url(base + "/admin/classes/" +
                   QString::fromLatin1(QUrl::toPercentEncoding(change.code)));
    if (!url.isValid() || url.scheme() != "https")
        return {false, QStringLiteral("not an https URL: %1").arg(serviceUrl)};

    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> authorities = QSslConfiguration::systemCaCertificates();
    if (!caFile.isEmpty()) {
        const auto extra = QSslCertificate::fromPath(caFile, QSsl::Pem);
        if (extra.isEmpty())
            return {false, QStringLiteral("no certificate in %1").arg(caFile)};
        authorities += extra;
    }
    ssl.setCaCertificates(authorities);

    QNetworkRequest request(url);
    request.setSslConfiguration(ssl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setRawHeader("X-Admin-Secret", adminSecret);
    request.setTransferTimeout(limits::classCommandTimeoutMs);
    QNetworkAccessManager manager;
    QNetworkReply* reply =
        manager.put(request, QJsonDocument(change.toJson()).toJson(QJsonDocument::Compact));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();

    const QByteArray body = reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    ChangeResult result;
    if (status == 0) {
        result.message = reply->errorString();
    } else {
        result.ok = status >= 200 && status < 300;
        result.message = QStringLiteral("HTTP %1 %2").arg(status).arg(QString::fromUtf8(body));
    }
    reply->deleteLater();
    return result;
}

}  // namespace kt::service
