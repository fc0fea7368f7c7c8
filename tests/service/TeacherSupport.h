#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "ServiceFixture.h"

namespace kt::testing {

// "NAME=VALUE; ATTRIBUTES" of the cookie NAME that the reply sets, empty when it sets none.
inline QByteArray cookieSet(const RawReply& reply, const QByteArray& name) {
    for (const QByteArray& line : reply.head.split('\n'))
        if (line.toLower().startsWith("set-cookie: " + name + '='))
            return line.mid(12).trimmed();
    return {};
}

inline QByteArray loginBody(const QString& name, const QString& password) {
    return QJsonDocument(QJsonObject{{"name", name}, {"password", password}}).toJson();
}

// The one-time password of a new teacher account.
inline QString addTeacher(const TestDatabase& database, const QString& name) {
    const auto [added, output] =
        runServiceCommand(QStringList{"teacher", "add", name} + database.options());
    EXPECT_EQ(added, 0) << output.toStdString();
    return QRegularExpression("one-time password: (\\S+)").match(output).captured(1);
}

}  // namespace kt::testing
