#include "http/LogText.h"

#include <QDateTime>
#include <algorithm>

namespace kt::service {
namespace {

bool isPrintable(char32_t c) {
    if (c < 0x80)
        return c >= 0x20 && c < 0x7f && c != '\\';
    const QChar::Category category = QChar::category(c);
    return QChar::isPrint(c) && category != QChar::Separator_Line &&
           category != QChar::Separator_Paragraph;
}

}  // namespace

QString escapedForLog(QStringView text) {
    // Most lines are plain ASCII: kept as they are without a copy per character.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return isPrintable(c.unicode()); }))
        return text.toString();
    QString escaped;
    escaped.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype start = i;
        char32_t c = text[i].unicode();
        const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                          QChar::isLowSurrogate(text[i + 1].unicode());
        if (pair) {
            c = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        if (isPrintable(c))
            escaped += text.sliced(start, i - start + 1);
        else if (c < 0x80)
            escaped += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QChar('0'));
        else
            escaped += QStringLiteral("\\u{%1}").arg(uint(c), 4, 16, QChar('0'));
    }
    return escaped;
}

QString logTime() {
    // Rendered once a second: a busy service logs thousands of lines in one.
    thread_local qint64 second = -1;
    thread_local QString text;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (const qint64 at = now.toSecsSinceEpoch(); at != second) {
        second = at;
        text = now.toString(Qt::ISODate);
    }
    return text;
}

}  // namespace kt::service
