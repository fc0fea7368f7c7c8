#include "http/JsonBody.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace kt::service {
namespace {

// Whether every text in the value, keys included, is valid Unicode. JSON can
// spell a lone surrogate ("\ud800"); written back into a reply it would make
// that reply unreadable for the students' application.
bool holdsValidText(const QJsonValue& value) {
    if (value.isString())
        return value.toString().isValidUtf16();
    if (value.isArray()) {
        for (const QJsonValue& item : value.toArray())
            if (!holdsValidText(item))
                return false;
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto member = object.begin(); member != object.end(); ++member)
            if (!member.key().isValidUtf16() || !holdsValidText(member.value()))
                return false;
    }
    return true;
}

}  // namespace

std::optional<QJsonObject> jsonObjectBody(const QByteArray& contentType, const QByteArray& body) {
    if (!contentType.startsWith("application/json"))
        return std::nullopt;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject() ||
        !holdsValidText(document.object()))
        return std::nullopt;
    return document.object();
}

}  // namespace kt::service
