#include "store/PostgresStore.h"

#include <libpq-fe.h>

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "limits/ServiceLimits.h"

namespace kt::service {
namespace {

const QString changesChannel = QStringLiteral("ka_tesmar_changes");

// What each connection is held to. Notices ("already exists, skipping") are
// no news. The service waits for each statement on its one thread, polls
// included: a row that another session keeps locked (an instance that froze
// or lost its network in the middle of a write, an administrator's open
// transaction) holds it only briefly, after which the write fails as it does
// while the database is away; and a session that stops inside a transaction
// is ended by the database, so that its locks keep no instance waiting.
void settle(const QSqlDatabase& db) {
    QSqlQuery query(db);
    query.exec("SET client_min_messages TO warning");
    query.exec(QStringLiteral("SET lock_timeout = %1").arg(limits::databaseLockWaitMs));
    query.exec(QStringLiteral("SET idle_in_transaction_session_timeout = %1")
                   .arg(limits::databaseStalledTransactionMs));
}

}  // namespace

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
    opened();
    return {};
}

// A connection just opened: its socket noted for DatabaseDeadline, its settings made.
void PostgresStore::opened() {
    const QSqlDatabase db = database();
    const QVariant handle = db.isOpen() ? db.driver()->handle() : QVariant();
    // The driver's handle, named after the struct behind libpq's typedef.
    PGconn* const* connection = qstrcmp(handle.typeName(), "pg_conn*") == 0
                                    ? static_cast<PGconn* const*>(handle.constData())
                                    : nullptr;
    socket_ = connection && *connection ? PQsocket(*connection) : -1;
    settle(db);
}

void PostgresStore::announce(const QString& what) {
    QSqlQuery query(database());
    query.prepare("SELECT pg_notify(?, ?)");
    query.addBindValue(changesChannel);
    query.addBindValue(what);
    if (!query.exec())
        qWarning("ka-tesmar-service: cannot tell the other instances: %s",
                 qPrintable(query.lastError().text()));
}

bool PostgresStore::listen(std::function<void(const QString&)> heard) {
    heard_ = std::move(heard);
    QObject::connect(
        database().driver(), &QSqlDriver::notification,
        [this](const QString&, QSqlDriver::NotificationSource source, const QVariant& payload) {
            if (source != QSqlDriver::SelfSource && heard_)
                heard_(payload.toString());
        });
    return subscribe();
}

// On a new connection too: whatever the driver still lists, LISTEN again.
bool PostgresStore::subscribe() {
    QSqlDriver* driver = database().driver();
    if (driver->subscribedToNotifications().contains(changesChannel))
        driver->unsubscribeFromNotification(changesChannel);
    return driver->subscribeToNotification(changesChannel);
}

// libpq does not connect again by itself: a new connection, on which the
// channel is listened to again.
bool PostgresStore::reconnect() {
    QSqlDatabase db = database();
    socket_ = -1;  // before its number can be given to another descriptor
    db.close();
    if (!db.open())
        return false;
    opened();
    return (!heard_ || subscribe()) && reachable();
}

// A table of its own. Schema changes wait for each other, as long as one
// takes, so that instances starting together on one database update it once.
int PostgresStore::readSchemaVersion(QSqlQuery& query) {
    if (!query.exec("SET LOCAL lock_timeout = 0") ||
        !query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(schemaChangeLock)) ||
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
