#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <optional>

namespace kt::service {

// The body of a change on the teacher's page: a JSON object sent as
// application/json whose texts are all valid Unicode, or nothing.
std::optional<QJsonObject> jsonObjectBody(const QByteArray& contentType, const QByteArray& body);

}  // namespace kt::service
