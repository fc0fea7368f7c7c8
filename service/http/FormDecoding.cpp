#include "http/FormDecoding.h"

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

bool isHidden(char32_t point) {
    switch (QChar::category(point)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Other_Surrogate:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return true;
        default:
            return false;
    }
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

QString cleanedName(const QString& typed) {
    QList<char32_t> kept;
    for (const char32_t point : typed.toUcs4()) {
        if (QChar::isSpace(point))  // a tab or a line break still parts two words
            kept.append(U' ');
        else if (!isHidden(point))
            kept.append(point);
    }
    return QString::fromUcs4(kept.constData(), kept.size()).simplified();
}

}  // namespace kt::service
