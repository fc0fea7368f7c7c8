#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

#include "classes/ClassCheck.h"
#include "classes/HttpReplies.h"
#include "limits/ServiceLimits.h"
#include "store/ServiceStore.h"

namespace kt::service {

// What became of a class on its way in.
struct ClassEntry {
    enum class Outcome { Entered, Refused, NotStored };
    Outcome outcome = Outcome::NotStored;
    ClassRecord record;    // the class as it came in
    ClassRefusal refusal;  // why it was refused
};

// The classes and the students who joined them, held in memory and written
// through to the store. Every class comes in through `enter`, with the one
// check (ClassCheck.h). A student's poll only marks the session, and
// `flushLastSeen` writes those marks in one batch. Each class has a lesson
// log (joins, switches, what each computer reported, contact, departures),
// written in batches by `tick` and kept for a number of days.
class ClassRegister {
  public:
    using Clock = std::function<qint64()>;  // milliseconds since the epoch

    // Loads the classes and sessions of `store` (opened already).
    explicit ClassRegister(ServiceStore& store, Clock now = systemNow);
    ~ClassRegister();  // writes the last polls
    ClassRegister(const ClassRegister&) = delete;
    ClassRegister& operator=(const ClassRegister&) = delete;

    std::optional<ClassRecord> find(const QString& code) const;
    QList<ClassRecord> all() const { return classes_.values(); }
    // The one way in for a class, new or changed: its owner found by login
    // name when it names one (teacherAccount), the check against the class
    // as it is, then the store. `serviceHost` is the name the sender reaches
    // the service by, which no class may block.
    ClassEntry enter(ClassRecord record, const QString& serviceHost);
    // The classes of a class file that the register does not hold yet. An
    // error text naming the class, empty when every one came in.
    QString importClasses(const QList<ClassRecord>& classes);
    // The administrator's change: the members of a JSON object applied to
    // the class `code`, which is made when it is new.
    ApiReply updateClass(const QString& code, const QByteArray& jsonBody,
                         const QString& serviceHost);
    // What the students see of a class: its teacher by their display name.
    QJsonObject classInfo(const ClassRecord& record) const;
    // Also announced to the other instances on a shared database.
    void setDisplayName(qint64 teacherId, const QString& displayName);
    // Grows with every change of a class or of a display name that students
    // see: what was rendered from them at another revision is out of date.
    quint64 revision() const { return revision_; }

    // Stores and counts a student who joined a class. The row of the same
    // computer's departure from the class gives way: it is back.
    bool join(const StudentSession& session);
    // The session of `tokenHash` (see holds), marked as polled now; nothing
    // when there is none or it went a day without a poll (it ends then).
    std::optional<StudentSession> poll(const QString& tokenHash);
    // Whether the session of `tokenHash` is held. On a shared store one that
    // another instance made is looked up (and then held) first, if `mayLookUp`:
    // NotLookedUp when it may not, Unsure when the store did not answer.
    enum class Holding { Yes, No, NotLookedUp, Unsure };
    Holding holds(const QString& tokenHash, bool mayLookUp = true);
    bool sharedStore() const { return store_.shared(); }
    bool endSessions(const QStringList& tokenHashes);
    // Ends a session at the student's own request (a logout, a quit). One
    // that leaves a blocked class stays as a departure for the teacher, at
    // most `departuresKept` of them per class (the oldest go first).
    bool leave(const QString& tokenHash, int departuresKept);
    // What the computer of a session said of its block. The same state again
    // keeps the time it holds since.
    bool recordReport(const QString& tokenHash, const StudentReport& said);
    // In the order they joined, those who left during a block included
    // (StudentSession::departedAtMs).
    QList<StudentSession> studentsOf(const QString& code) const;
    int classSize(const QString& code) const { return classSizes_.value(code); }
    // Writes the last polls since the previous call; ends sessions that were
    // not polled for a day. Returns the number of last polls written.
    int flushLastSeen();
    // What the service does every few seconds: writes the last polls and the
    // new lesson log events, logs the computers that lost contact during a
    // block, and once an hour deletes the log days it no longer keeps.
    void tick();

    // Adds an event of the class `code` at this moment to its lesson log.
    void logEvent(const QString& code, LessonEvent::Kind kind, const QString& student = {},
                  const QString& detail = {}, bool classBlocked = false);
    // The newest `limit` events of the class from `fromMs` up to `toMs`, oldest first.
    QList<LessonEvent> lessonLog(const QString& code, qint64 fromMs, qint64 toMs, int limit) const;
    void setLessonLogDays(int days) { lessonLogDays_ = days; }

    // Instances on one shared database (ServiceStore::shared): every change
    // of a class or its students is announced to the others, which read just
    // that class again; a class gone from the store leaves with its students.
    void reloadClass(const QString& code);
    // Everything read again, the safety net for announcements missed. False,
    // with nothing changed, when the store cannot be read.
    bool resync();

    qint64 now() const { return now_(); }
    static qint64 systemNow();

  private:
    void keepClass(const ClassRecord& record);
    void keepDisplayName(qint64 teacherId, const QString& displayName);
    void addSession(const StudentSession& session);
    // A session as the store holds it: this instance's later poll stays.
    void mergeSession(StudentSession stored);
    // The sessions `belongs` picks become those of `stored`.
    void replaceSessions(const QList<StudentSession>& stored,
                         const std::function<bool(const StudentSession&)>& belongs);
    // A session another instance made, from the store.
    Holding lookUp(const QString& tokenHash);
    void announceClass(const QString& code);
    // The polls other instances answered, for the contact shown and logged.
    void readOthersPolls();
    void forget(const QString& tokenHash);
    // Reads the owner's display name again: the teacher command may have changed it.
    void refreshDisplayName(qint64 teacherId);
    // An event of `code` at the register's time.
    LessonEvent eventNow(const QString& code, LessonEvent::Kind kind, const QString& student) const;
    void appendEvent(const LessonEvent& event);
    void noteLostContact();
    // A contact event of `session` left to the instance that answered its
    // last poll, checked for in the store later; `sinceMs` is that poll.
    void leaveContactEvent(const StudentSession& session, LessonEvent::Kind kind, qint64 sinceMs);
    void checkContactLoggedElsewhere();
    void writeLessonEvents();
    void pruneLessonLog();

    ServiceStore& store_;
    Clock now_;
    QMap<QString, ClassRecord> classes_;       // by upper-case code
    QHash<QString, StudentSession> sessions_;  // by token hash
    QHash<QString, StudentSession> departed_;  // left during a block, by token hash
    QHash<QString, int> classSizes_;           // sessions by class code
    QHash<qint64, QString> displayNames_;      // by teacher id
    quint64 revision_ = 0;
    QSet<QString> polledSinceFlush_;
    QSet<QString> lostContact_;  // sessions out of contact
    // On a shared database the instance that answered a session's last poll
    // logs its lost contact and its return: one event, not one per instance.
    QSet<QString> polledElsewhere_;  // sessions whose last poll another instance answered
    QSet<QString> lostLoggedHere_;   // sessions whose lost contact this instance logged
    // A contact event left to another instance, which may stop before it
    // logs it: looked for in the store when due, and logged here if missing.
    struct ContactCheck {
        QString tokenHash;
        LessonEvent event;  // what this instance logs if the store has nothing
        qint64 sinceMs;     // the session's last poll before the loss
        qint64 dueMs;
    };
    QList<ContactCheck> contactChecks_;
    qint64 watchContactFromMs_ = 0;  // after a restart the students need a moment to poll
    QList<LessonEvent> unwrittenEvents_;
    int lessonLogDays_ = limits::lessonLogDays;
    qint64 nextPruneMs_ = 0;
    qint64 othersPollsReadMs_ = 0;
};

}  // namespace kt::service
