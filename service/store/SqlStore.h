#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
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
    // The descriptor of a connection to a database server (-1 for none, and
    // for a file), for cutting a connection that hangs (DatabaseDeadline):
    // the one call that may come from another thread.
    virtual int serverSocket() const { return -1; }

    std::optional<Teacher> teacherByName(const QString& name) override;
    std::optional<Teacher> teacherById(qint64 id) override;
    bool addTeacher(Teacher& teacher) override;
    bool setPassword(qint64 teacherId, const QByteArray& hash, bool mustChange) override;
    bool setDisplayName(qint64 teacherId, const QString& displayName) override;
    QByteArray serviceKey(const QString& name, const QByteArray& ifNew) override;

    QList<StoredTeacherSession> loadTeacherSessions() override;
    bool saveTeacherSession(const StoredTeacherSession& session) override;
    bool deleteTeacherSessions(const QString& cookieHash, qint64 nowMs) override;
    std::optional<StoredTeacherSession> loadTeacherSession(const QString& cookieHash) override;

    QList<ClassRecord> loadClasses() override;
    std::optional<ClassRecord> loadClass(const QString& code) override;
    bool saveClass(const ClassRecord& record) override;

    QList<StudentSession> loadSessions() override;
    QList<StudentSession> loadSessionsOf(const QString& classCode) override;
    std::optional<StudentSession> loadSession(const QString& tokenHash) override;
    bool saveSession(const StudentSession& session) override;
    bool deleteSessions(const QStringList& tokenHashes) override;
    bool saveLastSeen(const QList<QPair<QString, qint64>>& lastSeen) override;
    QList<QPair<QString, qint64>> lastSeenSince(qint64 sinceMs) override;

    bool addLessonEvents(const QList<LessonEvent>& events) override;
    QList<LessonEvent> lessonEvents(const QString& classCode, qint64 fromMs, qint64 toMs,
                                    int limit) override;
    bool deleteLessonEventsBefore(qint64 beforeMs) override;

    bool addLoginFailure(const QString& key, qint64 atMs) override;
    bool removeLoginFailure(const QString& key, qint64 atMs) override;
    QList<qint64> loginFailures(const QString& key, qint64 sinceMs) override;
    bool deleteLoginFailuresBefore(qint64 beforeMs) override;

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
    // The classes that "SELECT ... FROM classes `rest`" gives, with their lists.
    QList<ClassRecord> readClasses(const QString& rest, const QVariantList& values);
    bool inTransaction(const std::function<bool(QSqlQuery&)>& body);

    QString name_;
    QString connection_;  // the name of this store's Qt SQL connection
};

}  // namespace kt::service
