#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace kt::service {

// Where a PostgreSQL database is, as libpq's keywords and values (host,
// port, dbname, user, sslmode...). Never a password: that comes from a file.
struct PostgresAddress {
    QList<QPair<QString, QString>> keywords;
    QString error;  // why the text is no address to use; empty when it is

    bool has(const QString& keyword) const;
    // libpq's "keyword='value' ..." form, as Qt SQL's connect options take it.
    QString connectOptions() const;
};

// "postgresql://" or "postgres://", or "keyword=value ...": not a file name.
bool isPostgresAddress(const QString& text);

// Reads "postgresql://[USER@][HOST][:PORT][,HOST...][/NAME][?KEYWORD=VALUE&...]"
// (percent-encoded; HOST may be a socket folder such as %2Frun%2Fpostgresql)
// or libpq's "keyword=value" connection string.
PostgresAddress parsePostgresAddress(const QString& text);

}  // namespace kt::service
