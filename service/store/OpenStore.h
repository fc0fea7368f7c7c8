#pragma once

#include <QString>
#include <memory>

#include "store/SqlStore.h"

namespace kt::service {

// The store `database` names, opened: a PostgreSQL database for an address
// (see isPostgresAddress), else an SQLite file. The PostgreSQL password is
// the first line of `passwordFile`; without one libpq looks in PGPASSFILE or
// ~/.pgpass. Null, with `error` set, when it cannot be opened.
std::unique_ptr<SqlStore> openStore(const QString& database, const QString& passwordFile,
                                    QString& error);

}  // namespace kt::service
