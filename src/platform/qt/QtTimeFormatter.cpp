#include "platform/qt/QtTimeFormatter.h"

#include <QDateTime>
#include <QRegularExpression>

namespace kt {

QString mediumTimeFormat(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1Char('s')))
        return format;
    static const QRegularExpression minutes(QStringLiteral("(m+)(?!.*m)"));
    const auto match = minutes.match(format);
    if (!match.hasMatch())
        return format;
    // The separator between hours and minutes is used again before the seconds.
    QString separator = QStringLiteral(":");
    const int start = static_cast<int>(match.capturedStart(1));
    if (start > 0 && !format.at(start - 1).isLetter())
        separator = format.at(start - 1);
    format.insert(static_cast<int>(match.capturedEnd(1)), separator + QStringLiteral("ss"));
    return format;
}

QtTimeFormatter::QtTimeFormatter(QLocale locale)
    : locale_(std::move(locale)),
      shortFormat_(locale_.timeFormat(QLocale::ShortFormat)),
      mediumFormat_(mediumTimeFormat(locale_)) {}

namespace {

QTime localTimeOf(TimePoint t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count()).time();
}

}  // namespace

std::string QtTimeFormatter::mediumTime(TimePoint t) const {
    return locale_.toString(localTimeOf(t), mediumFormat_).toStdString();
}

std::string QtTimeFormatter::shortTime(TimePoint t) const {
    return locale_.toString(localTimeOf(t), shortFormat_).toStdString();
}

}  // namespace kt
