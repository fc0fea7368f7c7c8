#include "JsonBody.h"

#include <QJsonDocument>

namespace kt::service {

std::optional<QJsonObject> jsonObjectBody(const QByteArray& contentType, const QByteArray& body) {
    if (!contentType.startsWith("application/json"))
        return std::nullopt;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

}  // namespace kt::service
