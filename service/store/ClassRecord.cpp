#include "store/ClassRecord.h"

#include <QJsonArray>

namespace kt::service {
namespace {

bool readStrings(const QJsonValue& value, QStringList& into) {
    if (!value.isArray())
        return false;
    QStringList items;
    for (const QJsonValue& element : value.toArray()) {
        if (!element.isString())
            return false;
        items << element.toString();
    }
    into = items;
    return true;
}

bool readRanges(const QJsonValue& value, QList<QPair<QString, QString>>& into) {
    if (!value.isArray())
        return false;
    QList<QPair<QString, QString>> ranges;
    for (const QJsonValue& element : value.toArray()) {
        const QJsonObject range = element.toObject();
        if (!element.isObject() || !range.value("start").isString() ||
            !range.value("end").isString())
            return false;
        ranges.append({range.value("start").toString(), range.value("end").toString()});
    }
    into = ranges;
    return true;
}

QJsonArray toArray(const QStringList& items) {
    return QJsonArray::fromStringList(items);
}

}  // namespace

QJsonObject ClassRecord::toJson() const {
    QJsonArray ranges;
    for (const auto& [start, end] : ipRanges)
        ranges.append(QJsonObject{{"start", start}, {"end", end}});
    return QJsonObject{{"code", code},
                       {"class_name", className},
                       {"teacher_name", teacherName},
                       {"school_name", schoolName},
                       {"is_blocked", isBlocked},
                       {"domains", toArray(domains)},
                       {"ips", toArray(ips)},
                       {"ip_ranges", ranges}};
}

QString applyClassFields(const QJsonObject& fields, ClassRecord& record) {
    ClassRecord updated = record;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const QString& key = it.key();
        const QJsonValue value = it.value();
        bool ok = true;
        if (key == "code") {
            continue;
        } else if (key == "class_name" || key == "teacher_name" || key == "school_name") {
            ok = value.isString();
            QString& target = key == "class_name"     ? updated.className
                              : key == "teacher_name" ? updated.teacherName
                                                      : updated.schoolName;
            target = value.toString();
        } else if (key == "teacher_account") {
            ok = value.isString();
            updated.teacherAccount = value.toString();
        } else if (key == "is_blocked") {
            ok = value.isBool();
            updated.isBlocked = value.toBool();
        } else if (key == "domains") {
            ok = readStrings(value, updated.domains);
        } else if (key == "ips") {
            ok = readStrings(value, updated.ips);
        } else if (key == "ip_ranges") {
            ok = readRanges(value, updated.ipRanges);
        } else {
            return QStringLiteral("unknown field '%1'").arg(key);
        }
        if (!ok)
            return QStringLiteral("field '%1' has the wrong type").arg(key);
    }
    record = updated;
    return {};
}

}  // namespace kt::service
