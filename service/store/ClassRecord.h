#pragma once

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace kt::service {

// One class as the teacher sets it up.
struct ClassRecord {
    QString code;  // upper case
    QString className;
    QString teacherName;
    QString schoolName;
    bool isBlocked = false;
    QStringList domains;
    QStringList ips;
    QList<QPair<QString, QString>> ipRanges;  // (start, end)
    qint64 teacherId = 0;                     // 0: made by the administrator
    QString teacherAccount;                   // the owner's login name, when given by name
    qint64 createdAtMs = 0;

    QJsonObject toJson() const;
};

// Applies the members of `fields` to `record`; members that are absent keep
// their value. Returns an error text (empty when all went well); on an error
// `record` is left unchanged. `code` in `fields` is ignored here: the caller
// decides where the code comes from.
QString applyClassFields(const QJsonObject& fields, ClassRecord& record);

}  // namespace kt::service
