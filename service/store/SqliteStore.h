#pragma once

#include <QString>

#include "store/SqlStore.h"

namespace kt::service {

// The store in one SQLite file (Qt SQL's QSQLITE driver). ":memory:" keeps
// everything in memory until the process ends.
class SqliteStore : public SqlStore {
  public:
    explicit SqliteStore(QString path) : SqlStore(std::move(path)) {}

  protected:
    QString connect(const QString& connection) override;
    int readSchemaVersion(QSqlQuery& query) override;
    bool writeSchemaVersion(QSqlQuery& query, int version) override;
    QString autoNumberedKey() const override { return QStringLiteral("INTEGER PRIMARY KEY"); }
};

}  // namespace kt::service
