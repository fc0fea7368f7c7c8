#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <string>

#include "PostgresCluster.h"

namespace kt::testing {

// A fresh, empty database of the service for one test: an SQLite file in a
// folder of its own, or a new database of the throwaway PostgreSQL.
struct TestDatabase {
    enum class Kind { Sqlite, Postgres };
    explicit TestDatabase(Kind kind) : kind(kind) {
        if (kind == Kind::Sqlite) {
            address = dir.filePath("service.db");
            return;
        }
        PostgresCluster& cluster = PostgresCluster::shared();
        if (!cluster.skipReason().empty()) {
            skipReason = "no throwaway PostgreSQL: " + cluster.skipReason();
            return;
        }
        address = cluster.newDatabase();
        passwordFile = cluster.passwordFile();
    }
    // The options of the service's commands that name it.
    QStringList options() const {
        QStringList options{"--database", address};
        if (!passwordFile.isEmpty())
            options << "--database-password-file" << passwordFile;
        return options;
    }
    Kind kind;
    QTemporaryDir dir;
    QString address;         // for --database
    QString passwordFile;    // for --database-password-file; PostgreSQL only
    std::string skipReason;  // why this kind is missing here; empty when it is not
};

// Test names end in /Sqlite or /Postgres.
inline std::string kindName(const ::testing::TestParamInfo<TestDatabase::Kind>& info) {
    return info.param == TestDatabase::Kind::Sqlite ? "Sqlite" : "Postgres";
}

}  // namespace kt::testing
