#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

#include "http/AttemptLimiter.h"
#include "store/ClassStore.h"
#include "store/ServiceStore.h"

namespace kt::service {

struct ApiReply {
    int status = 200;
    QJsonObject body;
};

// The class service's behaviour, without the HTTP server around it: login,
// status and logout as the student application calls them, the teacher's
// changes to a class and the administrator's. Classes and sessions live in
// memory and are written through to the store; the status poll only reads
// memory and marks the session's last poll, which `flushLastSeen` writes in
// one batch.
class ClassService {
  public:
    using TokenSource = std::function<QString()>;
    using Clock = std::function<qint64()>;  // milliseconds since the epoch

    static constexpr qint64 sessionLifetimeMs = 24LL * 3600 * 1000;  // without a poll
    // Logins per address in 10 minutes: a whole school behind one address, but
    // not an endless stream of sessions.
    static constexpr int loginsPerAddress = 1000;
    static constexpr int defaultMaxStudents = 500;  // in one class
    static constexpr int maxNameLength = 200;       // a student's name, cleaned
    // A computer reports after each privileged run: a switch, a repair, a quit.
    static constexpr int reportsPerSession = 30;      // in 10 minutes
    static constexpr int maxReportErrorLength = 500;  // characters of a failure's line
    static constexpr int defaultLessonLogDays = 30;

    // Loads classes and sessions from `store` (opened already).
    ClassService(ServiceStore& store, TokenSource newToken = randomToken, Clock now = systemNow);
    // The classes of `classes` in a database of its own in memory: nothing is kept.
    explicit ClassService(const ClassStore& classes, TokenSource newToken = randomToken);
    ~ClassService();
    ClassService(const ClassService&) = delete;
    ClassService& operator=(const ClassService&) = delete;

    // The classes of a classes file that the store does not know yet.
    QString importClasses(const ClassStore& classes, ServiceStore& teachers);

    ApiReply login(const QByteArray& formBody, const QString& peer = QString());
    ApiReply status(const QString& token);
    ApiReply logout(const QByteArray& jsonBody);
    // What happened on a student's computer: {"token", "state": "blocked",
    // "free", "failed" (with "error") or "quit", "hosts", "rules"}. A quit
    // ends the session as a logout does.
    ApiReply report(const QByteArray& jsonBody);
    ApiReply updateClass(const QString& code, const QByteArray& jsonBody);

    // The teacher's side; `teacherId` owns the class or nothing happens.
    QList<ClassRecord> classesOf(qint64 teacherId) const;
    std::optional<ClassRecord> classOf(qint64 teacherId, const QString& code) const;
    std::optional<ClassRecord> createClass(qint64 teacherId, const QString& className,
                                           const QString& schoolName);
    bool saveClassOf(qint64 teacherId, const ClassRecord& changed);
    // `byWhom`, the teacher's login name, goes into the lesson log.
    bool switchBlocking(qint64 teacherId, const QString& code, bool blocked, const QString& byWhom);
    // The class's students in the order they joined, those who left during a
    // block included (see StudentSession::departedAtMs).
    QList<StudentSession> studentsOf(const QString& code) const;
    bool removeStudent(qint64 teacherId, const QString& code, const QString& studentId,
                       const QString& byWhom);
    bool endLesson(qint64 teacherId, const QString& code, const QString& byWhom);
    // The newest `limit` lesson log events of a teacher's class from `fromMs`
    // up to `toMs`, oldest first; nothing when the class is not theirs.
    std::optional<QList<LessonEvent>> lessonLog(qint64 teacherId, const QString& code,
                                                qint64 fromMs, qint64 toMs, int limit) const;
    // A short public name of a session for the teacher's page.
    static QString studentId(const StudentSession& session);

    // Writes the last polls since the previous call; ends sessions that were
    // not polled for a day. Returns the number of last polls written.
    int flushLastSeen();
    // What the service does every few seconds: writes the last polls and the
    // new lesson log events, logs the computers that lost contact during a
    // block, and once an hour deletes the log events older than the days it
    // keeps them.
    void tick();
    void setLessonLogDays(int days) { lessonLogDays_ = days; }

    // What the students of the teacher's classes see as the teacher's name.
    void setDisplayName(qint64 teacherId, const QString& displayName);
    // A login to a class that holds this many students is refused.
    void setMaxStudents(int maxStudents) { maxStudents_ = maxStudents; }

    int sessionCount() const { return static_cast<int>(sessions_.size()); }
    const ClassStore& classes() const { return classes_; }
    qint64 now() const { return now_(); }

    static QString randomToken();
    // The key of a session: the token itself is never kept.
    static QString tokenHash(const QString& token);
    static QString newClassCode();
    static qint64 systemNow();
    static QStringList defaultDomains();

  private:
    ApiReply expired();
    bool endSessions(const QStringList& tokenHashes);
    // Ends a session at the student's request; one that leaves a blocked
    // class stays as a departure for the teacher.
    bool leave(const QString& key);
    void forget(const QString& key);
    void addSession(const StudentSession& session);
    // An event of the class `code` at this moment; the caller adds the rest.
    LessonEvent eventNow(const QString& code, LessonEvent::Kind kind,
                         const QString& student = {}) const;
    void logEvent(const LessonEvent& event);
    void logSwitch(const QString& code, bool blocked, const QString& byWhom);
    void noteLostContact();
    void writeLessonEvents();
    void pruneLessonLog();
    QJsonObject classInfo(const ClassRecord& record) const;
    // Reads the owner's display name again: the teacher command may have changed it.
    void refreshDisplayName(qint64 teacherId);

    std::unique_ptr<ServiceStore> ownStore_;
    ServiceStore& store_;
    TokenSource newToken_;
    Clock now_;
    ClassStore classes_;
    QHash<QString, StudentSession> sessions_;  // by token hash
    QHash<QString, StudentSession> departed_;  // left during a block, by token hash
    QHash<QString, int> classSizes_;           // sessions by class code
    QHash<qint64, QString> displayNames_;      // by teacher id
    int maxStudents_ = defaultMaxStudents;
    QSet<QString> polledSinceFlush_;
    QSet<QString> lostContact_;      // sessions whose lost contact is in the log
    qint64 watchContactFromMs_ = 0;  // after a restart the students need a moment to poll
    QList<LessonEvent> unwrittenEvents_;
    int lessonLogDays_ = defaultLessonLogDays;
    qint64 nextPruneMs_ = 0;
    AttemptLimiter failedStudentLogins_;
    AttemptLimiter studentLogins_;
    AttemptLimiter reports_;
};

}  // namespace kt::service
