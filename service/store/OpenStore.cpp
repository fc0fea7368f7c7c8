#include "store/OpenStore.h"

#include <QFile>

#include "store/PostgresStore.h"
#include "store/SqliteStore.h"

namespace kt::service {
namespace {

std::unique_ptr<SqlStore> postgresStore(const QString& database, const QString& passwordFile,
                                        QString& error) {
    PostgresAddress address = parsePostgresAddress(database);
    if (!address.error.isEmpty()) {
        error = address.error;
        return nullptr;
    }
    QString password;
    if (!passwordFile.isEmpty()) {
        QFile file(passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("cannot read the password file %1: %2")
                        .arg(passwordFile, file.errorString());
            return nullptr;
        }
        password = QString::fromUtf8(file.readLine()).remove('\n').remove('\r');
    }
    return std::make_unique<PostgresStore>(database, std::move(address), password);
}

}  // namespace

std::unique_ptr<SqlStore> openStore(const QString& database, const QString& passwordFile,
                                    QString& error) {
    std::unique_ptr<SqlStore> store;
    if (isPostgresAddress(database))
        store = postgresStore(database, passwordFile, error);
    else if (!passwordFile.isEmpty())
        error =
            QStringLiteral("a password file is for a PostgreSQL database, not %1").arg(database);
    else
        store = std::make_unique<SqliteStore>(database);
    if (store)
        error = store->open();
    return error.isEmpty() ? std::move(store) : nullptr;
}

}  // namespace kt::service
