#pragma once

#include <QSqlDatabase>
#include <QString>
#include <functional>

#include "store/ServiceStore.h"

class QSqlQuery;

namespace kt::service {

// The store on a Qt SQL database, in SQL that SQLite and PostgreSQL both
// take. A subclass connects and keeps the schema's version its database's
// way. Used on the thread that opened it only, as Qt SQL requires.
class SqlStore : public ServiceStore {
  public:
    ~SqlStore() override;

    // Connects and brings the schema up to date in one transaction.
    QString open() override;
    bool reachable() override;
    int schemaVersion();  // -1 when it cannot be read
    static int latestSchemaVersion();
    // The open connection, for copying a whole database.
    QSqlDatabase database() const;
    // The file or address, for messages.
    const QString& name() const { return name_; }
    // After rows came in with their ids: the next number follows the largest.
    virtual bool continueNumbering(QSqlQuery& query);

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

  protected:
    explicit SqlStore(QString name);
    // Adds and opens the Qt SQL connection `connection`. Error text, empty on success.
    virtual QString connect(const QString& connection) = 0;
    // Read inside the transaction that brings the schema up to date: 0 for
    // an empty database, -1 for one that is not this service's.
    virtual int readSchemaVersion(QSqlQuery& query) = 0;
    virtual bool writeSchemaVersion(QSqlQuery& query, int version) = 0;
    // What "{id}" of the schema stands for.
    virtual QString autoNumberedKey() const = 0;

  private:
    bool inTransaction(const std::function<bool(QSqlQuery&)>& body);

    QString name_;
    QString connection_;  // the name of this store's Qt SQL connection
};

}  // namespace kt::service
