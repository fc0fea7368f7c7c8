#pragma once

#include <QString>

#include "store/ServiceStore.h"

namespace kt::service {

// The store in one SQLite file (Qt SQL's QSQLITE driver). ":memory:" keeps
// everything in memory until the process ends.
class SqliteStore : public ServiceStore {
  public:
    explicit SqliteStore(QString path);
    ~SqliteStore() override;

    QString open() override;
    bool reachable() override;

    std::optional<Teacher> teacherByName(const QString& name) override;
    std::optional<Teacher> teacherById(qint64 id) override;
    bool addTeacher(Teacher& teacher) override;
    bool setPassword(qint64 teacherId, const QByteArray& hash, bool mustChange) override;
    bool setDisplayName(qint64 teacherId, const QString& displayName) override;
    QByteArray serviceKey(const QString& name, const QByteArray& ifNew) override;

    QList<StoredTeacherSession> loadTeacherSessions() override;
    bool saveTeacherSession(const StoredTeacherSession& session) override;
    bool deleteTeacherSessions(const QString& cookieHash, qint64 nowMs) override;

    QList<ClassRecord> loadClasses() override;
    bool saveClass(const ClassRecord& record) override;

    QList<StudentSession> loadSessions() override;
    bool saveSession(const StudentSession& session) override;
    bool deleteSessions(const QStringList& tokenHashes) override;
    bool saveLastSeen(const QList<QPair<QString, qint64>>& lastSeen) override;

    bool addLessonEvents(const QList<LessonEvent>& events) override;
    QList<LessonEvent> lessonEvents(const QString& classCode, qint64 fromMs, qint64 toMs,
                                    int limit) override;
    bool deleteLessonEventsBefore(qint64 beforeMs) override;

  private:
    int schemaVersion();
    static int latestSchemaVersion();

    QString path_;
    QString connection_;  // the name of this store's Qt SQL connection
};

}  // namespace kt::service
