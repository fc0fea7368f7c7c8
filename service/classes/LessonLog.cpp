#include "classes/LessonLog.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

namespace kt::service {
namespace {

QString byWhom(const QString& teacher) {
    return teacher.isEmpty() ? QStringLiteral("de beheerder") : teacher;
}

QString reportText(const LessonEvent& event) {
    switch (event.state) {
        case ReportedState::Blocked:
            return QStringLiteral("Geblokkeerd (%1 namen, %2 adressen)")
                .arg(event.hosts)
                .arg(event.rules);
        case ReportedState::Failed:
            return QStringLiteral("Blokkering mislukt: %1").arg(event.detail);
        case ReportedState::Free:
        case ReportedState::None:
            break;
    }
    return QStringLiteral("Vrij");
}

}  // namespace

std::optional<LogDay> logDay(const QString& day, const QString& zoneId) {
    static const QRegularExpression isoDay(QStringLiteral(R"(^\d{4}-\d{2}-\d{2}$)"));
    // Only a plain zone name is looked up, never a path.
    static const QRegularExpression zoneName(
        QStringLiteral(R"(^[A-Za-z_]+(/[A-Za-z0-9_+-]+){0,2}$)"));
    const QDate date = QDate::fromString(day, Qt::ISODate);
    if (!isoDay.match(day).hasMatch() || !date.isValid())
        return std::nullopt;
    const QByteArray id = zoneId.toLatin1();
    const QTimeZone zone = zoneName.match(zoneId).hasMatch() && QTimeZone::isTimeZoneIdAvailable(id)
                               ? QTimeZone(id)
                               : QTimeZone::systemTimeZone();
    return LogDay{date, zone, QDateTime(date, QTime(0, 0), zone).toMSecsSinceEpoch(),
                  QDateTime(date.addDays(1), QTime(0, 0), zone).toMSecsSinceEpoch()};
}

QString eventText(const LessonEvent& event) {
    using Kind = LessonEvent::Kind;
    switch (event.kind) {
        case Kind::Joined:
            return QStringLiteral("Aangemeld");
        case Kind::Switched:
            return (event.classBlocked ? QStringLiteral("Blokkering aan door %1")
                                       : QStringLiteral("Blokkering uit door %1"))
                .arg(byWhom(event.detail));
        case Kind::Reported:
            return reportText(event);
        case Kind::ContactLost:
            return QStringLiteral("Geen contact meer");
        case Kind::ContactBack:
            return QStringLiteral("Weer contact");
        case Kind::Departed:
            return event.classBlocked ? QStringLiteral("Vertrokken tijdens blokkering")
                                      : QStringLiteral("Vertrokken");
        case Kind::Removed:
            return QStringLiteral("Verwijderd door %1").arg(byWhom(event.detail));
        case Kind::LessonEnded:
            return QStringLiteral("Les beëindigd door %1").arg(byWhom(event.detail));
    }
    return {};
}

QString csvCell(const QString& text) {
    QString cell = text;
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!cell.isEmpty() && formulaStarts.contains(cell.front()))
        cell.prepend('\'');
    cell.replace('"', QStringLiteral("\"\""));
    return '"' + cell + '"';
}

QByteArray lessonLogCsv(const QList<LessonEvent>& events, const QTimeZone& zone) {
    QStringList lines{QStringLiteral("Datum;Tijd;Leerling;Gebeurtenis")};
    for (const LessonEvent& event : events) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(event.atMs, zone);
        lines << QStringList{csvCell(at.toString(QStringLiteral("yyyy-MM-dd"))),
                             csvCell(at.toString(QStringLiteral("HH:mm:ss"))),
                             csvCell(event.student), csvCell(eventText(event))}
                     .join(';');
    }
    return "\xEF\xBB\xBF" + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

}  // namespace kt::service
