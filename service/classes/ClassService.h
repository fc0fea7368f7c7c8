#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

#include "http/AttemptLimiter.h"
#include "limits/ServiceLimits.h"
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
    ApiReply updateClass(const QString& code, const QByteArray& jsonBody);

    // The teacher's side; `teacherId` owns the class or nothing happens.
    QList<ClassRecord> classesOf(qint64 teacherId) const;
    std::optional<ClassRecord> classOf(qint64 teacherId, const QString& code) const;
    std::optional<ClassRecord> createClass(qint64 teacherId, const QString& className,
                                           const QString& schoolName);
    bool saveClassOf(qint64 teacherId, const ClassRecord& changed);
    QList<StudentSession> studentsOf(const QString& code) const;
    bool removeStudent(qint64 teacherId, const QString& code, const QString& studentId);
    bool endLesson(qint64 teacherId, const QString& code);
    // A short public name of a session for the teacher's page.
    static QString studentId(const StudentSession& session);

    // Writes the last polls since the previous call; ends sessions that were
    // not polled for a day. Returns the number of last polls written.
    int flushLastSeen();

    // What the students of the teacher's classes see as the teacher's name.
    void setDisplayName(qint64 teacherId, const QString& displayName);
    // A login to a class that holds this many students is refused.
    void setMaxStudents(int maxStudents) { maxStudents_ = maxStudents; }

    int sessionCount() const { return static_cast<int>(sessions_.size()); }
    const ClassStore& classes() const { return classes_; }
    qint64 now() const { return now_(); }

    static QString randomToken();
    static QString newClassCode();
    static qint64 systemNow();
    static QStringList defaultDomains();

  private:
    ApiReply expired();
    bool endSessions(const QStringList& tokenHashes);
    void addSession(const StudentSession& session);
    QJsonObject classInfo(const ClassRecord& record) const;
    // Reads the owner's display name again: the teacher command may have changed it.
    void refreshDisplayName(qint64 teacherId);

    std::unique_ptr<ServiceStore> ownStore_;
    ServiceStore& store_;
    TokenSource newToken_;
    Clock now_;
    ClassStore classes_;
    QHash<QString, StudentSession> sessions_;  // by token hash
    QHash<QString, int> classSizes_;           // sessions by class code
    QHash<qint64, QString> displayNames_;      // by teacher id
    int maxStudents_ = limits::studentsPerClass;
    QSet<QString> polledSinceFlush_;
    AttemptLimiter failedStudentLogins_;
    AttemptLimiter studentLogins_;
};

}  // namespace kt::service
