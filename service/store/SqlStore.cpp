#include "store/SqlStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include "store/SqlSchema.h"

namespace kt::service {
namespace {

// Qt binds a null QString as SQL NULL; the columns hold empty texts instead.
QVariant text(const QString& value) {
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

// Flags are bound as numbers: PostgreSQL takes no boolean into an INTEGER column.
QVariant flag(bool value) {
    return QVariant(value ? 1 : 0);
}

// A statement that PostgreSQL could not prepare (a lost connection, a lock
// waited for too long) is not run: the driver would send it without its name.
bool run(QSqlQuery& query) {
    if (query.lastError().type() == QSqlError::NoError && query.exec())
        return true;
    ++failedStatements;
    qWarning("ka-tesmar-service: database: %s", qPrintable(query.lastError().text()));
    return false;
}

// "INSERT ... ON CONFLICT (key) DO UPDATE" of every column but the key, the
// first of `columns`.
QString upsert(const QString& table, const QStringList& columns) {
    QStringList updates;
    for (const QString& column : columns.mid(1)) updates << column + " = excluded." + column;
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (?%3) ON CONFLICT (%4) DO UPDATE SET %5")
        .arg(table, columns.join(", "), QString(", ?").repeated(columns.size() - 1),
             columns.first(), updates.join(", "));
}

// Runs `statement` with `values` bound.
bool write(const QSqlDatabase& db, const QString& statement, const QVariantList& values) {
    QSqlQuery query(db);
    query.prepare(statement);
    for (const QVariant& value : values) query.addBindValue(value);
    return run(query);
}

// Every row `select` gives with `values` bound, each made into a T by `item`;
// none when it fails.
template <typename T>
QList<T> readAll(const QSqlDatabase& db, const QString& select,
                 const std::function<T(const QSqlQuery&)>& item, const QVariantList& values = {}) {
    QSqlQuery query(db);
    QList<T> items;
    if (!query.prepare(select)) {  // PostgreSQL prepares on the server: a lost connection
        ++failedStatements;
        return items;
    }
    for (const QVariant& value : values) query.addBindValue(value);
    if (run(query))
        while (query.next()) items.append(item(query));
    return items;
}

StoredTeacherSession teacherSessionFrom(const QSqlQuery& row) {
    return {row.value(0).toString(), row.value(1).toLongLong(), row.value(2).toLongLong()};
}

StudentSession sessionFrom(const QSqlQuery& row) {
    const StudentReport report{stateFromName(row.value(7).toString()).value_or(ReportedState::None),
                               row.value(8).toLongLong(), row.value(9).toString(),
                               row.value(10).toInt(), row.value(11).toInt()};
    return StudentSession{row.value(0).toString(),   row.value(1).toString(),
                          row.value(2).toString(),   row.value(3).toString(),
                          row.value(4).toString(),   row.value(5).toLongLong(),
                          row.value(6).toLongLong(), report,
                          row.value(12).toLongLong()};
}

const QString selectSessions = QStringLiteral(
    "SELECT token_hash, class_code, student_name, device_id, device_info, joined_at, "
    "last_seen, report_state, report_at, report_error, report_hosts, report_rules, "
    "departed_at FROM sessions ");

template <typename T>
std::optional<T> firstOf(const QList<T>& items) {
    return items.isEmpty() ? std::nullopt : std::optional<T>(items.first());
}

// The teacher whose `column` holds `value`.
std::optional<Teacher> readTeacher(const QSqlDatabase& db, const char* column,
                                   const QVariant& value) {
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT id, name, password_hash, must_change_password, "
                                 "display_name FROM teachers WHERE %1 = ?")
                      .arg(QLatin1String(column)));
    query.addBindValue(value);
    if (!run(query) || !query.next())
        return std::nullopt;
    return Teacher{query.value(0).toLongLong(), query.value(1).toString(),
                   query.value(2).toByteArray(), query.value(3).toBool(),
                   query.value(4).toString()};
}

}  // namespace

SqlStore::SqlStore(QString name)
    : name_(std::move(name)), connection_(QUuid::createUuid().toString()) {}

SqlStore::~SqlStore() {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

QSqlDatabase SqlStore::database() const {
    return QSqlDatabase::database(connection_, false);
}

int SqlStore::latestSchemaVersion() {
    return static_cast<int>(schemaMigrations().size());
}

int SqlStore::schemaVersion() {
    QSqlQuery query(database());
    return readSchemaVersion(query);
}

bool SqlStore::continueNumbering(QSqlQuery&) {
    return true;
}

QString SqlStore::open() {
    if (const QString error = connect(connection_); !error.isEmpty())
        return error;
    QSqlDatabase db = database();
    if (!db.transaction())
        return QStringLiteral("cannot use %1: %2").arg(name_, db.lastError().text());
    QSqlQuery query(db);
    const int version = readSchemaVersion(query);
    const int latest = latestSchemaVersion();
    QString error;
    if (version < 0)
        error = QStringLiteral("%1 is not a database of this service").arg(name_);
    else if (version > latest)
        error = QStringLiteral("%1 was written by a newer version (schema %2, this one knows %3)")
                    .arg(name_, QString::number(version), QString::number(latest));
    for (int step = version; error.isEmpty() && step < latest; ++step)
        for (QString statement : schemaMigrations().at(step))
            if (!query.exec(statement.replace("{id}", autoNumberedKey()))) {
                error = QStringLiteral("cannot update %1 to schema %2: %3")
                            .arg(name_, QString::number(step + 1), query.lastError().text());
                break;
            }
    if (error.isEmpty() && version < latest && !writeSchemaVersion(query, latest))
        error = QStringLiteral("cannot update %1: %2").arg(name_, query.lastError().text());
    if (!error.isEmpty()) {
        db.rollback();
        return error;
    }
    if (!db.commit())
        return QStringLiteral("cannot update %1: %2").arg(name_, db.lastError().text());
    return {};
}

// Runs `body` in one transaction; rolls back when it returns false.
bool SqlStore::inTransaction(const std::function<bool(QSqlQuery&)>& body) {
    QSqlDatabase db = database();
    if (!db.transaction())
        return false;
    QSqlQuery query(db);
    if (body(query) && db.commit())
        return true;
    db.rollback();
    return false;
}

std::optional<Teacher> SqlStore::teacherByName(const QString& name) {
    return readTeacher(database(), "name", name);
}

std::optional<Teacher> SqlStore::teacherById(qint64 id) {
    return readTeacher(database(), "id", id);
}

bool SqlStore::addTeacher(Teacher& teacher) {
    QSqlQuery query(database());
    query.prepare(
        "INSERT INTO teachers (name, password_hash, must_change_password, display_name) VALUES "
        "(?, ?, ?, ?) RETURNING id");
    query.addBindValue(teacher.name);
    query.addBindValue(QString::fromLatin1(teacher.passwordHash));
    query.addBindValue(flag(teacher.mustChangePassword));
    query.addBindValue(text(teacher.displayName));
    if (!query.exec() || !query.next())
        return false;
    teacher.id = query.value(0).toLongLong();
    return true;
}

bool SqlStore::reachable() {
    QSqlQuery query(database());
    query.prepare("SELECT 1");
    return run(query) && query.next();
}

// "RETURNING" rather than a count of changed rows, which Qt's PostgreSQL
// driver does not give for a prepared statement.
bool SqlStore::setPassword(qint64 teacherId, const QByteArray& hash, bool mustChange) {
    QSqlQuery query(database());
    query.prepare(
        "UPDATE teachers SET password_hash = ?, must_change_password = ? WHERE id = ? RETURNING "
        "id");
    query.addBindValue(QString::fromLatin1(hash));
    query.addBindValue(flag(mustChange));
    query.addBindValue(teacherId);
    return run(query) && query.next();
}

bool SqlStore::setDisplayName(qint64 teacherId, const QString& displayName) {
    QSqlQuery query(database());
    query.prepare("UPDATE teachers SET display_name = ? WHERE id = ? RETURNING id");
    query.addBindValue(text(displayName));
    query.addBindValue(teacherId);
    return run(query) && query.next();
}

QByteArray SqlStore::serviceKey(const QString& name, const QByteArray& ifNew) {
    QSqlQuery query(database());
    query.prepare(
        "INSERT INTO service_keys (name, value) VALUES (?, ?) ON CONFLICT (name) DO NOTHING");
    query.addBindValue(name);
    query.addBindValue(QString::fromLatin1(ifNew));
    if (ifNew.isEmpty() || !run(query))
        return {};
    query.prepare("SELECT value FROM service_keys WHERE name = ?");
    query.addBindValue(name);
    return run(query) && query.next() ? query.value(0).toString().toLatin1() : QByteArray();
}

QList<StoredTeacherSession> SqlStore::loadTeacherSessions() {
    return readAll<StoredTeacherSession>(
        database(), "SELECT cookie_hash, teacher_id, expires_at FROM teacher_sessions",
        teacherSessionFrom);
}

std::optional<StoredTeacherSession> SqlStore::loadTeacherSession(const QString& cookieHash) {
    return firstOf(readAll<StoredTeacherSession>(
        database(),
        "SELECT cookie_hash, teacher_id, expires_at FROM teacher_sessions WHERE cookie_hash = ?",
        teacherSessionFrom, {cookieHash}));
}

bool SqlStore::saveTeacherSession(const StoredTeacherSession& session) {
    return write(database(),
                 upsert("teacher_sessions", {"cookie_hash", "teacher_id", "expires_at"}),
                 {session.cookieHash, session.teacherId, session.expiresAtMs});
}

bool SqlStore::deleteTeacherSessions(const QString& cookieHash, qint64 nowMs) {
    return write(database(),
                 "DELETE FROM teacher_sessions WHERE cookie_hash = ? OR expires_at <= ?",
                 {cookieHash, nowMs});
}

QList<ClassRecord> SqlStore::loadClasses() {
    return readClasses(QStringLiteral("ORDER BY created_at, code"), {});
}

std::optional<ClassRecord> SqlStore::loadClass(const QString& code) {
    return firstOf(readClasses(QStringLiteral("WHERE code = ?"), {code}));
}

QList<ClassRecord> SqlStore::readClasses(const QString& rest, const QVariantList& values) {
    const QSqlDatabase db = database();
    QList<ClassRecord> records = readAll<ClassRecord>(
        db,
        "SELECT code, COALESCE(teacher_id, 0), class_name, teacher_name, school_name, is_blocked, "
        "created_at FROM classes " +
            rest,
        [](const QSqlQuery& row) {
            ClassRecord record;
            record.code = row.value(0).toString();
            record.teacherId = row.value(1).toLongLong();
            record.className = row.value(2).toString();
            record.teacherName = row.value(3).toString();
            record.schoolName = row.value(4).toString();
            record.isBlocked = row.value(5).toBool();
            record.createdAtMs = row.value(6).toLongLong();
            return record;
        },
        values);
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

bool SqlStore::saveClass(const ClassRecord& record) {
    return inTransaction([&](QSqlQuery& query) {
        query.prepare(upsert("classes", {"code", "teacher_id", "class_name", "teacher_name",
                                         "school_name", "is_blocked", "created_at"}));
        query.addBindValue(record.code);
        query.addBindValue(record.teacherId == 0 ? QVariant() : QVariant(record.teacherId));
        for (const QVariant& value :
             {text(record.className), text(record.teacherName), text(record.schoolName),
              flag(record.isBlocked), QVariant(record.createdAtMs)})
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

QList<StudentSession> SqlStore::loadSessions() {
    return readAll<StudentSession>(database(), selectSessions + "ORDER BY joined_at, token_hash",
                                   sessionFrom);
}

QList<StudentSession> SqlStore::loadSessionsOf(const QString& classCode) {
    return readAll<StudentSession>(
        database(), selectSessions + "WHERE class_code = ? ORDER BY joined_at, token_hash",
        sessionFrom, {classCode});
}

std::optional<StudentSession> SqlStore::loadSession(const QString& tokenHash) {
    return firstOf(readAll<StudentSession>(database(), selectSessions + "WHERE token_hash = ?",
                                           sessionFrom, {tokenHash}));
}

bool SqlStore::saveSession(const StudentSession& session) {
    return inTransaction([&](QSqlQuery& query) {
        query.prepare(upsert(
            "sessions", {"token_hash", "class_code", "student_name", "device_id", "device_info",
                         "joined_at", "last_seen", "report_state", "report_at", "report_error",
                         "report_hosts", "report_rules", "departed_at"}));
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
        query.prepare(upsert("devices", {"device_id", "device_info", "last_seen"}));
        query.addBindValue(session.deviceId);
        query.addBindValue(text(session.deviceInfo));
        query.addBindValue(session.lastSeenMs);
        return run(query);
    });
}

bool SqlStore::deleteSessions(const QStringList& tokenHashes) {
    return inTransaction([&](QSqlQuery& query) {
        query.prepare("DELETE FROM sessions WHERE token_hash = ?");
        for (const QString& hash : tokenHashes) {
            query.addBindValue(hash);
            if (!run(query))
                return false;
        }
        return true;
    });
}

bool SqlStore::saveLastSeen(const QList<QPair<QString, qint64>>& lastSeen) {
    return inTransaction([&](QSqlQuery& query) {
        // Instances write the polls they answered: the latest of them stays.
        query.prepare("UPDATE sessions SET last_seen = ? WHERE token_hash = ? AND last_seen < ?");
        for (const auto& [hash, when] : lastSeen) {
            query.addBindValue(when);
            query.addBindValue(hash);
            query.addBindValue(when);
            if (!run(query))
                return false;
        }
        return true;
    });
}

QList<QPair<QString, qint64>> SqlStore::lastSeenSince(qint64 sinceMs) {
    return readAll<QPair<QString, qint64>>(
        database(), "SELECT token_hash, last_seen FROM sessions WHERE last_seen > ?",
        [](const QSqlQuery& row) {
            return QPair<QString, qint64>{row.value(0).toString(), row.value(1).toLongLong()};
        },
        {sinceMs});
}

bool SqlStore::addLessonEvents(const QList<LessonEvent>& events) {
    return inTransaction([&](QSqlQuery& query) {
        query.prepare(
            "INSERT INTO lesson_events (class_code, happened_at, kind, student, detail, "
            "class_blocked, state, hosts, rules) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (const LessonEvent& event : events) {
            for (const QVariant& value :
                 {text(event.classCode), QVariant(event.atMs), QVariant(kindName(event.kind)),
                  text(event.student), text(event.detail), flag(event.classBlocked),
                  QVariant(stateName(event.state)), QVariant(event.hosts), QVariant(event.rules)})
                query.addBindValue(value);
            if (!run(query))
                return false;
        }
        return true;
    });
}

QList<LessonEvent> SqlStore::lessonEvents(const QString& classCode, qint64 fromMs, qint64 toMs,
                                          int limit) {
    QSqlQuery query(database());
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

bool SqlStore::deleteLessonEventsBefore(qint64 beforeMs) {
    return write(database(), "DELETE FROM lesson_events WHERE happened_at < ?", {beforeMs});
}

bool SqlStore::addLoginFailure(const QString& key, qint64 atMs) {
    return write(database(), "INSERT INTO login_failures (failure_key, failed_at) VALUES (?, ?)",
                 {key, atMs});
}

// One of them: two failures of one key in one millisecond are two attempts.
bool SqlStore::removeLoginFailure(const QString& key, qint64 atMs) {
    return write(database(),
                 "DELETE FROM login_failures WHERE id = (SELECT min(id) FROM login_failures WHERE "
                 "failure_key = ? AND failed_at = ?)",
                 {key, atMs});
}

QList<qint64> SqlStore::loginFailures(const QString& key, qint64 sinceMs) {
    return readAll<qint64>(
        database(),
        "SELECT failed_at FROM login_failures WHERE failure_key = ? AND failed_at > ? ORDER BY "
        "failed_at",
        [](const QSqlQuery& row) { return row.value(0).toLongLong(); }, {key, sinceMs});
}

bool SqlStore::deleteLoginFailuresBefore(qint64 beforeMs) {
    return write(database(), "DELETE FROM login_failures WHERE failed_at <= ?", {beforeMs});
}

}  // namespace kt::service
