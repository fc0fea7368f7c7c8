#pragma once

#include <QList>
#include <QStringList>

namespace kt::service {

// The service's tables, as the steps that made them: entry N brings the
// schema from version N to N + 1. Entries are only ever appended. The SQL is
// what SQLite and PostgreSQL both take; "{id}" stands for an auto-numbered
// primary key, which each writes its own way.
const QList<QStringList>& schemaMigrations();

// The tables those steps leave, in the order they were made: a table comes
// after the tables it references.
QStringList schemaTables();

}  // namespace kt::service
