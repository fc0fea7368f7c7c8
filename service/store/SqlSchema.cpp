#include "store/SqlSchema.h"

#include <QRegularExpression>

namespace kt::service {

const QList<QStringList>& schemaMigrations() {
    // Times are milliseconds since 1970 (BIGINT); flags are 0 or 1.
    static const QList<QStringList> migrations = {
        {
            "CREATE TABLE teachers (id {id}, name TEXT NOT NULL UNIQUE, "
            "password_hash TEXT NOT NULL, must_change_password INTEGER NOT NULL)",
            "CREATE TABLE classes (code TEXT PRIMARY KEY, teacher_id BIGINT REFERENCES "
            "teachers(id), class_name TEXT NOT NULL, teacher_name TEXT NOT NULL, school_name TEXT "
            "NOT NULL, is_blocked INTEGER NOT NULL, created_at BIGINT NOT NULL)",
            // kind: 'domain', 'ip' or 'range' (value .. value_end)
            "CREATE TABLE block_entries (class_code TEXT NOT NULL REFERENCES classes(code), "
            "kind TEXT NOT NULL, position INTEGER NOT NULL, value TEXT NOT NULL, value_end TEXT)",
            "CREATE INDEX block_entries_class ON block_entries(class_code)",
            "CREATE TABLE devices (device_id TEXT PRIMARY KEY, device_info TEXT NOT NULL, "
            "last_seen BIGINT NOT NULL)",
            "CREATE TABLE sessions (token_hash TEXT PRIMARY KEY, class_code TEXT NOT NULL "
            "REFERENCES classes(code), student_name TEXT NOT NULL, device_id TEXT NOT NULL, "
            "device_info TEXT NOT NULL, joined_at BIGINT NOT NULL, last_seen BIGINT NOT NULL)",
        },
        {
            "CREATE TABLE teacher_sessions (cookie_hash TEXT PRIMARY KEY, teacher_id BIGINT NOT "
            "NULL REFERENCES teachers(id), expires_at BIGINT NOT NULL)",
        },
        {
            "ALTER TABLE teachers ADD COLUMN display_name TEXT NOT NULL DEFAULT ''",
            // A class made on the page kept its owner's login name as the name students saw.
            "UPDATE classes SET teacher_name = '' WHERE teacher_id IS NOT NULL AND teacher_name = "
            "(SELECT name FROM teachers WHERE teachers.id = classes.teacher_id)",
            "CREATE TABLE service_keys (name TEXT PRIMARY KEY, value TEXT NOT NULL)",
        },
        {
            // What each computer last reported, and a departure during a block;
            // the lesson log.
            "ALTER TABLE sessions ADD COLUMN report_state TEXT NOT NULL DEFAULT ''",
            "ALTER TABLE sessions ADD COLUMN report_at BIGINT NOT NULL DEFAULT 0",
            "ALTER TABLE sessions ADD COLUMN report_error TEXT NOT NULL DEFAULT ''",
            "ALTER TABLE sessions ADD COLUMN report_hosts INTEGER NOT NULL DEFAULT 0",
            "ALTER TABLE sessions ADD COLUMN report_rules INTEGER NOT NULL DEFAULT 0",
            "ALTER TABLE sessions ADD COLUMN departed_at BIGINT NOT NULL DEFAULT 0",
            "CREATE TABLE lesson_events (id {id}, class_code TEXT NOT NULL, happened_at BIGINT NOT "
            "NULL, kind TEXT NOT NULL, student TEXT NOT NULL, detail TEXT NOT NULL, class_blocked "
            "INTEGER NOT NULL, state TEXT NOT NULL, hosts INTEGER NOT NULL, rules INTEGER NOT "
            "NULL)",
            "CREATE INDEX lesson_events_class ON lesson_events(class_code, happened_at)",
            "CREATE INDEX lesson_events_at ON lesson_events(happened_at)",
        },
    };
    return migrations;
}

QStringList schemaTables() {
    static const QRegularExpression made(R"(^CREATE TABLE (\w+))"),
        dropped(R"(^DROP TABLE (?:IF EXISTS )?(\w+))");
    QStringList tables;
    for (const QStringList& step : schemaMigrations())
        for (const QString& statement : step) {
            if (const auto match = made.match(statement); match.hasMatch())
                tables << match.captured(1);
            else if (const auto gone = dropped.match(statement); gone.hasMatch())
                tables.removeAll(gone.captured(1));
        }
    return tables;
}

}  // namespace kt::service
