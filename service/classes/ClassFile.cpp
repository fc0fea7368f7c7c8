#include "classes/ClassFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include "classes/ClassCheck.h"

namespace kt::service {

ClassFile readClassFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("cannot read %1: %2").arg(path, file.errorString())};
    ClassFile read = parseClassFile(file.readAll());
    if (!read.error.isEmpty())
        read.error = QStringLiteral("%1: %2").arg(path, read.error);
    return read;
}

ClassFile parseClassFile(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return {{},
                QStringLiteral("not JSON (%1 at offset %2)")
                    .arg(parseError.errorString())
                    .arg(parseError.offset)};
    if (!document.isArray())
        return {{}, QStringLiteral("expected an array of classes")};
    ClassFile read;
    QSet<QString> codes;
    for (const QJsonValue& value : document.array()) {
        const QString where = QStringLiteral("class %1: ").arg(read.classes.size());
        if (!value.isObject())
            return {{}, where + QStringLiteral("not an object")};
        const QJsonObject fields = value.toObject();
        ClassRecord record;
        const QString code = fields.value("code").toString();
        record.code = normalisedClassCode(code).isEmpty() ? code : normalisedClassCode(code);
        if (codes.contains(record.code))
            return {{}, where + QStringLiteral("code %1 appears twice").arg(record.code)};
        codes.insert(record.code);
        if (const QString error = applyClassFields(fields, record); !error.isEmpty())
            return {{}, where + error};
        read.classes << record;
    }
    return read;
}

}  // namespace kt::service
