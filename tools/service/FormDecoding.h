#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <optional>

namespace kt::service {

// Decodes an application/x-www-form-urlencoded body ("+" is a space, "%XX" a
// byte). The first occurrence of a name wins. Nothing when a name or value is
// not valid UTF-8.
std::optional<QMap<QString, QString>> decodeForm(const QByteArray& body);

}  // namespace kt::service
