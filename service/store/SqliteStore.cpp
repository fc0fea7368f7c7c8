#include "store/SqliteStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kt::service {

QString SqliteStore::connect(const QString& connection) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    if (!db.isValid())
        return QStringLiteral("the SQLite driver of Qt SQL is missing (libqt6sql6-sqlite)");
    db.setDatabaseName(name());
    if (!db.open())
        return QStringLiteral("cannot open %1: %2").arg(name(), db.lastError().text());
    QSqlQuery pragma(db);
    for (const char* statement : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL",
                                  "PRAGMA foreign_keys=ON", "PRAGMA busy_timeout=5000"})
        pragma.exec(statement);
    return {};
}

// Kept in the file's header; a file that is no SQLite database fails to say.
int SqliteStore::readSchemaVersion(QSqlQuery& query) {
    return query.exec("PRAGMA user_version") && query.next() ? query.value(0).toInt() : -1;
}

bool SqliteStore::writeSchemaVersion(QSqlQuery& query, int version) {
    return query.exec(QStringLiteral("PRAGMA user_version=%1").arg(version));
}

}  // namespace kt::service
