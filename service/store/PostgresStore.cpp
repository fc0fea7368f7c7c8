#include "store/PostgresStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kt::service {

PostgresStore::PostgresStore(const QString& shownAs, PostgresAddress address, QString password)
    : SqlStore(shownAs), address_(std::move(address)), password_(std::move(password)) {}

QString PostgresStore::connect(const QString& connection) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    if (!db.isValid())
        return QStringLiteral("the PostgreSQL driver of Qt SQL is missing (libqt6sql6-psql)");
    db.setConnectOptions(address_.connectOptions());
    db.setPassword(password_);
    if (!db.open())
        return QStringLiteral("cannot connect to %1: %2").arg(name(), db.lastError().text());
    // Notices ("already exists, skipping") are no news.
    QSqlQuery(db).exec("SET client_min_messages TO warning");
    return {};
}

// A table of its own. Schema changes wait for each other, so that
// instances starting together on one database update it once.
int PostgresStore::readSchemaVersion(QSqlQuery& query) {
    if (!query.exec("SELECT pg_advisory_xact_lock(7403362851)") ||
        !query.exec("SELECT to_regclass('schema_version') IS NOT NULL, (SELECT count(*) FROM "
                    "pg_tables WHERE schemaname = current_schema())") ||
        !query.next())
        return -1;
    if (!query.value(0).toBool())
        return query.value(1).toLongLong() == 0 ? 0 : -1;  // empty, or another program's
    return query.exec("SELECT max(version) FROM schema_version") && query.next()
               ? query.value(0).toInt()
               : -1;
}

bool PostgresStore::writeSchemaVersion(QSqlQuery& query, int version) {
    return query.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)") &&
           query.exec("DELETE FROM schema_version") &&
           query.exec(
               QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(version));
}

bool PostgresStore::continueNumbering(QSqlQuery& query) {
    if (!query.exec("SELECT table_name, column_name FROM information_schema.columns WHERE "
                    "table_schema = current_schema() AND is_identity = 'YES'"))
        return false;
    QList<QPair<QString, QString>> numbered;
    while (query.next()) numbered.append({query.value(0).toString(), query.value(1).toString()});
    for (const auto& [table, column] : numbered)
        if (!query.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), "
                                       "COALESCE(max(%2), 0) + 1, false) FROM %1")
                            .arg(table, column)))
            return false;
    return true;
}

}  // namespace kt::service
