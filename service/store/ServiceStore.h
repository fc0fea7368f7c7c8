#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <atomic>
#include <optional>

#include "store/ClassRecord.h"

namespace kt::service {

struct Teacher {
    qint64 id = 0;
    QString name;
    QByteArray passwordHash;         // Argon2id, in libsodium's string form
    bool mustChangePassword = true;  // after a one-time password
    QString displayName;             // what students see; empty until it is set
};

// A teacher's page login, keyed by the hash of its cookie: the cookie itself
// is never stored.
struct StoredTeacherSession {
    QString cookieHash;
    qint64 teacherId = 0;
    qint64 expiresAtMs = 0;
};

// What a student's computer last said about its block.
enum class ReportedState { None, Blocked, Free, Failed };

struct StudentReport {
    ReportedState state = ReportedState::None;
    qint64 atMs = 0;  // when the computer first reported this state
    QString error;    // Failed: the line the student's window shows
    int hosts = 0;    // names in force
    int rules = 0;    // addresses and rules in force
};

// A student who joined a class. Keyed by the hash of the session token: the
// token itself is never stored.
struct StudentSession {
    QString tokenHash;
    QString classCode;
    QString studentName;
    QString deviceId;
    QString deviceInfo;
    qint64 joinedAtMs = 0;
    qint64 lastSeenMs = 0;
    StudentReport report;
    // Left while the class was blocked: the session is over, its row stays
    // for the teacher. 0 while the session runs.
    qint64 departedAtMs = 0;
};

// One line of a class's lesson log.
struct LessonEvent {
    enum class Kind {
        Joined,
        Switched,     // classBlocked: the switch's new position; detail: by whom
        Reported,     // state, hosts, rules; detail: the error of a failure
        ContactLost,  // when the service noticed: no poll for a while during a block
        ContactBack,
        Departed,     // classBlocked: the class was blocked at the time
        Removed,      // detail: by whom
        LessonEnded,  // detail: by whom
    };
    QString classCode;
    qint64 atMs = 0;
    Kind kind = Kind::Joined;
    QString student;  // the student's name; empty for the class's own events
    QString detail;
    bool classBlocked = false;
    ReportedState state = ReportedState::None;
    int hosts = 0;
    int rules = 0;
};

// The names under which every store keeps these values: "blocked", "free",
// "failed" ("" for None); "joined", "switched"... Nothing for an unknown name.
QString stateName(ReportedState state);
std::optional<ReportedState> stateFromName(const QString& name);
QString kindName(LessonEvent::Kind kind);
std::optional<LessonEvent::Kind> kindFromName(const QString& name);

// Database statements that failed since the start, in every store.
inline std::atomic<quint64> failedStatements{0};

// Everything the service keeps across restarts. One implementation per
// database; the service holds what it needs in memory and writes through.
// Every write returns false when it did not happen.
class ServiceStore {
  public:
    virtual ~ServiceStore() = default;

    // Opens the database and brings its schema up to date. Error text, empty on success.
    virtual QString open() = 0;
    // Whether the database answers a trivial query now.
    virtual bool reachable() = 0;

    virtual std::optional<Teacher> teacherByName(const QString& name) = 0;
    virtual std::optional<Teacher> teacherById(qint64 id) = 0;
    // Adds a teacher; fails when the name is taken.
    virtual bool addTeacher(Teacher& teacher) = 0;
    virtual bool setPassword(qint64 teacherId, const QByteArray& hash, bool mustChange) = 0;
    virtual bool setDisplayName(qint64 teacherId, const QString& displayName) = 0;

    // The key kept under `name`; `ifNew` is kept and returned when there is none yet.
    virtual QByteArray serviceKey(const QString& name, const QByteArray& ifNew) = 0;

    virtual QList<StoredTeacherSession> loadTeacherSessions() = 0;
    virtual bool saveTeacherSession(const StoredTeacherSession& session) = 0;
    // Removes the session with `cookieHash` and every one expired at `nowMs`.
    virtual bool deleteTeacherSessions(const QString& cookieHash, qint64 nowMs) = 0;

    virtual QList<ClassRecord> loadClasses() = 0;
    virtual bool saveClass(const ClassRecord& record) = 0;  // inserts or replaces

    virtual QList<StudentSession> loadSessions() = 0;
    virtual bool saveSession(const StudentSession& session) = 0;
    virtual bool deleteSessions(const QStringList& tokenHashes) = 0;
    virtual bool saveLastSeen(const QList<QPair<QString, qint64>>& lastSeen) = 0;

    virtual bool addLessonEvents(const QList<LessonEvent>& events) = 0;
    // The newest `limit` events of one class from `fromMs` up to (not
    // including) `toMs`, oldest first.
    virtual QList<LessonEvent> lessonEvents(const QString& classCode, qint64 fromMs, qint64 toMs,
                                            int limit) = 0;
    // Deletes the events of every class from before `beforeMs`.
    virtual bool deleteLessonEventsBefore(qint64 beforeMs) = 0;
};

}  // namespace kt::service
