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

// A name as it is checked, kept and shown: without control, format and
// direction characters (C0/C1, U+200B, U+202E...) and stray surrogates, its
// white space (tabs and line breaks included) trimmed and each run of it made
// one space.
QString cleanedName(const QString& typed);

}  // namespace kt::service
