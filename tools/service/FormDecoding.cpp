#include "FormDecoding.h"

#include <QStringDecoder>

namespace kt::service {
namespace {

std::optional<QString> decodeComponent(QByteArray component) {
    component.replace('+', ' ');
    const QByteArray bytes = QByteArray::fromPercentEncoding(component);
    QStringDecoder toUtf16(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = toUtf16(bytes);
    if (toUtf16.hasError())
        return std::nullopt;
    return text;
}

}  // namespace

std::optional<QMap<QString, QString>> decodeForm(const QByteArray& body) {
    QMap<QString, QString> fields;
    for (const QByteArray& pair : body.split('&')) {
        if (pair.isEmpty())
            continue;
        const qsizetype equals = pair.indexOf('=');
        const auto name = decodeComponent(equals < 0 ? pair : pair.left(equals));
        const auto value = decodeComponent(equals < 0 ? QByteArray() : pair.mid(equals + 1));
        if (!name || !value)
            return std::nullopt;
        if (!fields.contains(*name))
            fields.insert(*name, *value);
    }
    return fields;
}

}  // namespace kt::service
