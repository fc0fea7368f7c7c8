#include "store/SqliteStore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <functional>

namespace kt::service {
namespace {

// Each entry brings the schema from version (index) to version (index + 1).
// Entries are only ever appended.
const QList<QStringList> migrations = {
    {
        "CREATE TABLE teachers (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, "
        "password_hash TEXT NOT NULL, must_change_password INTEGER NOT NULL)",
        "CREATE TABLE classes (code TEXT PRIMARY KEY, teacher_id INTEGER REFERENCES teachers(id), "
        "class_name TEXT NOT NULL, teacher_name TEXT NOT NULL, school_name TEXT NOT NULL, "
        "is_blocked INTEGER NOT NULL, created_at INTEGER NOT NULL)",
        // kind: 'domain', 'ip' or 'range' (value .. value_end)
        "CREATE TABLE block_entries (class_code TEXT NOT NULL REFERENCES classes(code), "
        "kind TEXT NOT NULL, position INTEGER NOT NULL, value TEXT NOT NULL, value_end TEXT)",
        "CREATE INDEX block_entries_class ON block_entries(class_code)",
        "CREATE TABLE devices (device_id TEXT PRIMARY KEY, device_info TEXT NOT NULL, "
        "last_seen INTEGER NOT NULL)",
        "CREATE TABLE sessions (token_hash TEXT PRIMARY KEY, class_code TEXT NOT NULL "
        "REFERENCES classes(code), student_name TEXT NOT NULL, device_id TEXT NOT NULL, "
        "device_info TEXT NOT NULL, joined_at INTEGER NOT NULL, last_seen INTEGER NOT NULL)",
    },
    {
        "CREATE TABLE teacher_sessions (cookie_hash TEXT PRIMARY KEY, teacher_id INTEGER NOT "
        "NULL REFERENCES teachers(id), expires_at INTEGER NOT NULL)",
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
        // the lesson log. Times are milliseconds since 1970 (BIGINT).
        "ALTER TABLE sessions ADD COLUMN report_state TEXT NOT NULL DEFAULT ''",
        "ALTER TABLE sessions ADD COLUMN report_at BIGINT NOT NULL DEFAULT 0",
        "ALTER TABLE sessions ADD COLUMN report_error TEXT NOT NULL DEFAULT ''",
        "ALTER TABLE sessions ADD COLUMN report_hosts INTEGER NOT NULL DEFAULT 0",
        "ALTER TABLE sessions ADD COLUMN report_rules INTEGER NOT NULL DEFAULT 0",
        "ALTER TABLE sessions ADD COLUMN departed_at BIGINT NOT NULL DEFAULT 0",
        "CREATE TABLE lesson_events (id INTEGER PRIMARY KEY, class_code TEXT NOT NULL, "
        "happened_at BIGINT NOT NULL, kind TEXT NOT NULL, student TEXT NOT NULL, detail TEXT NOT "
        "NULL, "
        "class_blocked INTEGER NOT NULL, state TEXT NOT NULL, hosts INTEGER NOT NULL, "
        "rules INTEGER NOT NULL)",
        "CREATE INDEX lesson_events_class ON lesson_events(class_code, happened_at)",
        "CREATE INDEX lesson_events_at ON lesson_events(happened_at)",
    },
};

// Qt binds a null QString as SQL NULL; the columns hold empty texts instead.
QVariant text(const QString& value) {
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

bool run(QSqlQuery& query) {
    if (query.exec())
        return true;
    ++failedStatements;
    qWarning("ka-tesmar-service: database: %s", qPrintable(query.lastError().text()));
    return false;
}

}  // namespace

SqliteStore::SqliteStore(QString path)
    : path_(std::move(path)), connection_(QUuid::createUuid().toString()) {}

SqliteStore::~SqliteStore() {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

int SqliteStore::latestSchemaVersion() {
    return static_cast<int>(migrations.size());
}

int SqliteStore::schemaVersion() {
    QSqlQuery query(QSqlDatabase::database(connection_));
    return query.exec("PRAGMA user_version") && query.next() ? query.value(0).toInt() : -1;
}

QString SqliteStore::open() {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    if (!db.isValid())
        return QStringLiteral("the SQLite driver of Qt SQL is missing (libqt6sql6-sqlite)");
    db.setDatabaseName(path_);
    if (!db.open())
        return QStringLiteral("cannot open %1: %2").arg(path_, db.lastError().text());
    QSqlQuery pragma(db);
    for (const char* statement : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL",
                                  "PRAGMA foreign_keys=ON", "PRAGMA busy_timeout=5000"})
        pragma.exec(statement);

    const int version = schemaVersion();
    if (version < 0)
        return QStringLiteral("%1 is not a database of this service").arg(path_);
    if (version > latestSchemaVersion())
        return QStringLiteral("%1 was written by a newer version (schema %2, this one knows %3)")
            .arg(path_)
            .arg(version)
            .arg(latestSchemaVersion());
    for (int step = version; step < latestSchemaVersion(); ++step) {
        db.transaction();
        QSqlQuery query(db);
        for (const QString& statement : migrations.at(step)) {
            if (!query.exec(statement)) {
                const QString error = query.lastError().text();
                db.rollback();
                return QStringLiteral("cannot update %1 to schema %2: %3")
                    .arg(path_)
                    .arg(step + 1)
                    .arg(error);
            }
        }
        query.exec(QStringLiteral("PRAGMA user_version=%1").arg(step + 1));
        if (!db.commit())
            return QStringLiteral("cannot update %1: %2").arg(path_, db.lastError().text());
    }
    return {};
}

namespace {

std::optional<Teacher> readTeacher(QSqlQuery& query) {
    if (!run(query) || !query.next())
        return std::nullopt;
    return Teacher{query.value(0).toLongLong(), query.value(1).toString(),
                   query.value(2).toByteArray(), query.value(3).toBool(),
                   query.value(4).toString()};
}

// Runs `body` in one transaction; rolls back when it returns false.
bool inTransaction(const QString& connection, const std::function<bool(QSqlQuery&)>& body) {
    QSqlDatabase db = QSqlDatabase::database(connection);
    if (!db.transaction())
        return false;
    QSqlQuery query(db);
    if (body(query) && db.commit())
        return true;
    db.rollback();
    return false;
}

}  // namespace

bool SqliteStore::reachable() {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare("SELECT 1");
    return run(query) && query.next();
}

std::optional<Teacher> SqliteStore::teacherByName(const QString& name) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(
        "SELECT id, name, password_hash, must_change_password, display_name FROM teachers WHERE "
        "name = ?");
    query.addBindValue(name);
    return readTeacher(query);
}

std::optional<Teacher> SqliteStore::teacherById(qint64 id) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(
        "SELECT id, name, password_hash, must_change_password, display_name FROM teachers WHERE "
        "id = ?");
    query.addBindValue(id);
    return readTeacher(query);
}

bool SqliteStore::addTeacher(Teacher& teacher) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(
        "INSERT INTO teachers (name, password_hash, must_change_password, display_name) VALUES "
        "(?, ?, ?, ?)");
    query.addBindValue(teacher.name);
    query.addBindValue(QString::fromLatin1(teacher.passwordHash));
    query.addBindValue(teacher.mustChangePassword);
    query.addBindValue(text(teacher.displayName));
    if (!query.exec())
        return false;
    teacher.id = query.lastInsertId().toLongLong();
    return true;
}

bool SqliteStore::setPassword(qint64 teacherId, const QByteArray& hash, bool mustChange) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare("UPDATE teachers SET password_hash = ?, must_change_password = ? WHERE id = ?");
    query.addBindValue(QString::fromLatin1(hash));
    query.addBindValue(mustChange);
    query.addBindValue(teacherId);
    return run(query) && query.numRowsAffected() == 1;
}

bool SqliteStore::setDisplayName(qint64 teacherId, const QString& displayName) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare("UPDATE teachers SET display_name = ? WHERE id = ?");
    query.addBindValue(text(displayName));
    query.addBindValue(teacherId);
    return run(query) && query.numRowsAffected() == 1;
}

QByteArray SqliteStore::serviceKey(const QString& name, const QByteArray& ifNew) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare("INSERT OR IGNORE INTO service_keys (name, value) VALUES (?, ?)");
    query.addBindValue(name);
    query.addBindValue(QString::fromLatin1(ifNew));
    if (ifNew.isEmpty() || !run(query))
        return {};
    query.prepare("SELECT value FROM service_keys WHERE name = ?");
    query.addBindValue(name);
    return run(query) && query.next() ? query.value(0).toString().toLatin1() : QByteArray();
}

QList<StoredTeacherSession> SqliteStore::loadTeacherSessions() {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare("SELECT cookie_hash, teacher_id, expires_at FROM teacher_sessions");
    QList<StoredTeacherSession> sessions;
    if (!run(query))
        return sessions;
    while (query.next())
        sessions.append(
            {query.value(0).toString(), query.value(1).toLongLong(), query.value(2).toLongLong()});
    return sessions;
}

bool SqliteStore::saveTeacherSession(const StoredTeacherSession& session) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(
        "INSERT OR REPLACE INTO teacher_sessions (cookie_hash, teacher_id, expires_at) VALUES "
        "(?, ?, ?)");
    query.addBindValue(session.cookieHash);
    query.addBindValue(session.teacherId);
    query.addBindValue(session.expiresAtMs);
    return run(query);
}

bool SqliteStore::deleteTeacherSessions(const QString& cookieHash, qint64 nowMs) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare("DELETE FROM teacher_sessions WHERE cookie_hash = ? OR expires_at <= ?");
    query.addBindValue(cookieHash);
    query.addBindValue(nowMs);
    return run(query);
}

QList<ClassRecord> SqliteStore::loadClasses() {
    QSqlDatabase db = QSqlDatabase::database(connection_);
    QSqlQuery query(db);
    query.prepare(
        "SELECT code, COALESCE(teacher_id, 0), class_name, teacher_name, school_name, is_blocked, "
        "created_at FROM classes ORDER BY created_at, code");
    QList<ClassRecord> records;
    if (!run(query))
        return records;
    while (query.next()) {
        ClassRecord record;
        record.code = query.value(0).toString();
        record.teacherId = query.value(1).toLongLong();
        record.className = query.value(2).toString();
        record.teacherName = query.value(3).toString();
        record.schoolName = query.value(4).toString();
        record.isBlocked = query.value(5).toBool();
        record.createdAtMs = query.value(6).toLongLong();
        records.append(record);
    }
    QSqlQuery entries(db);
    entries.prepare(
        "SELECT kind, value, COALESCE(value_end, '') FROM block_entries WHERE class_code = ? "
        "ORDER BY position");
    for (ClassRecord& record : records) {
        entries.addBindValue(record.code);
        if (!run(entries))
            continue;
        while (entries.next()) {
            const QString kind = entries.value(0).toString();
            const QString value = entries.value(1).toString();
            if (kind == "domain")
                record.domains << value;
            else if (kind == "ip")
                record.ips << value;
            else
                record.ipRanges.append({value, entries.value(2).toString()});
        }
    }
    return records;
}

bool SqliteStore::saveClass(const ClassRecord& record) {
    return inTransaction(connection_, [&](QSqlQuery& query) {
        query.prepare(
            "INSERT OR REPLACE INTO classes (code, teacher_id, class_name, teacher_name, "
            "school_name, is_blocked, created_at) VALUES (?, ?, ?, ?, ?, ?, ?)");
        query.addBindValue(record.code);
        query.addBindValue(record.teacherId == 0 ? QVariant() : QVariant(record.teacherId));
        for (const QVariant& value :
             {text(record.className), text(record.teacherName), text(record.schoolName),
              QVariant(record.isBlocked), QVariant(record.createdAtMs)})
            query.addBindValue(value);
        if (!run(query))
            return false;
        query.prepare("DELETE FROM block_entries WHERE class_code = ?");
        query.addBindValue(record.code);
        if (!run(query))
            return false;
        query.prepare(
            "INSERT INTO block_entries (class_code, kind, position, value, value_end) "
            "VALUES (?, ?, ?, ?, ?)");
        int position = 0;
        const auto insert = [&](const char* kind, const QString& value, const QVariant& end) {
            query.addBindValue(record.code);
            query.addBindValue(QString::fromLatin1(kind));
            query.addBindValue(position++);
            query.addBindValue(value);
            query.addBindValue(end);
            return run(query);
        };
        for (const QString& domain : record.domains)
            if (!insert("domain", domain, QVariant()))
                return false;
        for (const QString& ip : record.ips)
            if (!insert("ip", ip, QVariant()))
                return false;
        for (const auto& [start, end] : record.ipRanges)
            if (!insert("range", start, end))
                return false;
        return true;
    });
}

QList<StudentSession> SqliteStore::loadSessions() {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(
        "SELECT token_hash, class_code, student_name, device_id, device_info, joined_at, "
        "last_seen, report_state, report_at, report_error, report_hosts, report_rules, "
        "departed_at FROM sessions ORDER BY joined_at");
    QList<StudentSession> sessions;
    if (!run(query))
        return sessions;
    while (query.next()) {
        const StudentReport report{
            stateFromName(query.value(7).toString()).value_or(ReportedState::None),
            query.value(8).toLongLong(), query.value(9).toString(), query.value(10).toInt(),
            query.value(11).toInt()};
        sessions.append(StudentSession{
            query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
            query.value(3).toString(), query.value(4).toString(), query.value(5).toLongLong(),
            query.value(6).toLongLong(), report, query.value(12).toLongLong()});
    }
    return sessions;
}

bool SqliteStore::saveSession(const StudentSession& session) {
    return inTransaction(connection_, [&](QSqlQuery& query) {
        query.prepare(
            "INSERT OR REPLACE INTO sessions (token_hash, class_code, student_name, device_id, "
            "device_info, joined_at, last_seen, report_state, report_at, report_error, "
            "report_hosts, report_rules, departed_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
            "?)");
        const StudentReport& report = session.report;
        for (const QVariant& value :
             {text(session.tokenHash), text(session.classCode), text(session.studentName),
              text(session.deviceId), text(session.deviceInfo), QVariant(session.joinedAtMs),
              QVariant(session.lastSeenMs), QVariant(stateName(report.state)),
              QVariant(report.atMs), text(report.error), QVariant(report.hosts),
              QVariant(report.rules), QVariant(session.departedAtMs)})
            query.addBindValue(value);
        if (!run(query))
            return false;
        if (session.deviceId.isEmpty())
            return true;
        query.prepare(
            "INSERT OR REPLACE INTO devices (device_id, device_info, last_seen) VALUES (?, ?, ?)");
        query.addBindValue(session.deviceId);
        query.addBindValue(text(session.deviceInfo));
        query.addBindValue(session.lastSeenMs);
        return run(query);
    });
}

bool SqliteStore::deleteSessions(const QStringList& tokenHashes) {
    return inTransaction(connection_, [&](QSqlQuery& query) {
        query.prepare("DELETE FROM sessions WHERE token_hash = ?");
        for (const QString& hash : tokenHashes) {
            query.addBindValue(hash);
            if (!run(query))
                return false;
        }
        return true;
    });
}

bool SqliteStore::saveLastSeen(const QList<QPair<QString, qint64>>& lastSeen) {
    return inTransaction(connection_, [&](QSqlQuery& query) {
        query.prepare("UPDATE sessions SET last_seen = ? WHERE token_hash = ?");
        for (const auto& [hash, when] : lastSeen) {
            query.addBindValue(when);
            query.addBindValue(hash);
            if (!run(query))
                return false;
        }
        return true;
    });
}

bool SqliteStore::addLessonEvents(const QList<LessonEvent>& events) {
    return inTransaction(connection_, [&](QSqlQuery& query) {
        query.prepare(
            "INSERT INTO lesson_events (class_code, happened_at, kind, student, detail, "
            "class_blocked, "
            "state, hosts, rules) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (const LessonEvent& event : events) {
            for (const QVariant& value :
                 {text(event.classCode), QVariant(event.atMs), QVariant(kindName(event.kind)),
                  text(event.student), text(event.detail), QVariant(event.classBlocked),
                  QVariant(stateName(event.state)), QVariant(event.hosts), QVariant(event.rules)})
                query.addBindValue(value);
            if (!run(query))
                return false;
        }
        return true;
    });
}

QList<LessonEvent> SqliteStore::lessonEvents(const QString& classCode, qint64 fromMs, qint64 toMs,
                                             int limit) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare(
        "SELECT happened_at, kind, student, detail, class_blocked, state, hosts, rules FROM "
        "(SELECT * FROM lesson_events WHERE class_code = ? AND happened_at >= ? AND "
        "happened_at < ? ORDER BY happened_at DESC, id DESC LIMIT ?) AS newest "
        "ORDER BY happened_at, id");
    query.addBindValue(classCode);
    query.addBindValue(fromMs);
    query.addBindValue(toMs);
    query.addBindValue(limit);
    QList<LessonEvent> events;
    if (!run(query))
        return events;
    while (query.next()) {
        const auto kind = kindFromName(query.value(1).toString());
        if (!kind)
            continue;
        events.append(
            LessonEvent{classCode, query.value(0).toLongLong(), *kind, query.value(2).toString(),
                        query.value(3).toString(), query.value(4).toBool(),
                        stateFromName(query.value(5).toString()).value_or(ReportedState::None),
                        query.value(6).toInt(), query.value(7).toInt()});
    }
    return events;
}

bool SqliteStore::deleteLessonEventsBefore(qint64 beforeMs) {
    QSqlQuery query(QSqlDatabase::database(connection_));
    query.prepare("DELETE FROM lesson_events WHERE happened_at < ?");
    query.addBindValue(beforeMs);
    return run(query);
}

}  // namespace kt::service
