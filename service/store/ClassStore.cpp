#include "store/ClassStore.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace kt::service {

QString ClassStore::loadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    const QString error = loadJson(file.readAll());
    return error.isEmpty() ? QString() : QStringLiteral("%1: %2").arg(path, error);
}

QString ClassStore::loadJson(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return QStringLiteral("not JSON (%1 at offset %2)")
            .arg(parseError.errorString())
            .arg(parseError.offset);
    if (!document.isArray())
        return QStringLiteral("expected an array of classes");
    QMap<QString, ClassRecord> loaded;
    int index = 0;
    for (const QJsonValue& value : document.array()) {
        const QString where = QStringLiteral("class %1: ").arg(index++);
        if (!value.isObject())
            return where + QStringLiteral("not an object");
        const QJsonObject fields = value.toObject();
        const QString code = normalisedClassCode(fields.value("code").toString());
        if (code.isEmpty())
            return where + QStringLiteral("'code' must be 1 to 32 letters and digits");
        if (loaded.contains(code))
            return where + QStringLiteral("code %1 appears twice").arg(code);
        ClassRecord record;
        record.code = code;
        const QString error = applyClassFields(fields, record);
        if (!error.isEmpty())
            return where + error;
        loaded.insert(code, record);
    }
    classes_ = loaded;
    return {};
}

std::optional<ClassRecord> ClassStore::find(const QString& code) const {
    const auto it = classes_.constFind(code.toUpper());
    if (it == classes_.constEnd())
        return std::nullopt;
    return *it;
}

QString ClassStore::update(const QString& code, const QJsonObject& fields) {
    const QString key = normalisedClassCode(code);
    if (key.isEmpty())
        return QStringLiteral("a class code is 1 to 32 letters and digits");
    ClassRecord record = classes_.value(key);
    record.code = key;
    const QString error = applyClassFields(fields, record);
    if (error.isEmpty())
        classes_.insert(key, record);
    return error;
}

}  // namespace kt::service
