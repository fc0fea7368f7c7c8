#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QTimeZone>
#include <optional>

#include "store/ServiceStore.h"

namespace kt::service {

// One day of a lesson log in the teacher's time zone.
struct LogDay {
    QDate date;
    QTimeZone zone;
    qint64 fromMs = 0;  // its first millisecond
    qint64 toMs = 0;    // the first of the next day
};

// `day` as YYYY-MM-DD in the zone named `zoneId` ("Europe/Brussels"; the
// service's own zone when that is no known zone). Nothing for another day text.
std::optional<LogDay> logDay(const QString& day, const QString& zoneId);

// The Dutch line of an event, as the page and the CSV file show it.
QString eventText(const LessonEvent& event);

// One CSV cell, quoted. Names are the pupils' own: a text a spreadsheet would
// take for a formula (starting with = + - @, a tab or a carriage return)
// gets a leading apostrophe.
QString csvCell(const QString& text);

// The events as a CSV file for a spreadsheet: UTF-8 with a byte-order mark,
// cells separated by ';', one line per event with its date and time in `zone`.
QByteArray lessonLogCsv(const QList<LessonEvent>& events, const QTimeZone& zone);

}  // namespace kt::service
