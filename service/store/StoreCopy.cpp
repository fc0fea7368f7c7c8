#include "store/StoreCopy.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <optional>

#include "store/SqlSchema.h"

namespace kt::service {
namespace {

using Row = QStringList;

QString selectAll(const QString& table, const QStringList& columns) {
    return QStringLiteral("SELECT %1 FROM %2").arg(columns.join(", "), table);
}

// Every row of `table`, each value as text with NULL apart, sorted: the two
// databases need not agree on an order of texts.
std::optional<QList<Row>> readRows(const QSqlDatabase& db, const QString& table,
                                   const QStringList& columns) {
    QSqlQuery query(db);
    if (!query.exec(selectAll(table, columns)))
        return std::nullopt;
    QList<Row> rows;
    while (query.next()) {
        Row row;
        for (int i = 0; i < columns.size(); ++i)
            row << (query.isNull(i) ? QStringLiteral("NULL") : "'" + query.value(i).toString());
        rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The first difference between `from` and `to`, empty when there is none.
// It names columns, never values: they hold password hashes.
QString difference(const QString& table, const QStringList& columns, const QList<Row>& from,
                   const QList<Row>& to) {
    if (from.size() != to.size())
        return QStringLiteral("%1 has %2 rows, the copy %3")
            .arg(table, QString::number(from.size()), QString::number(to.size()));
    for (qsizetype row = 0; row < from.size(); ++row) {
        QStringList differ;
        for (qsizetype i = 0; i < columns.size(); ++i)
            if (from.at(row).at(i) != to.at(row).at(i))
                differ << columns.at(i);
        if (!differ.isEmpty())
            return QStringLiteral("a row of %1 differs in the copy (%2)")
                .arg(table, differ.join(", "));
    }
    return {};
}

QStringList columnsOf(const QSqlDatabase& db, const QString& table) {
    QStringList columns;
    const QSqlRecord record = db.record(table);
    for (int i = 0; i < record.count(); ++i) columns << record.fieldName(i);
    return columns;
}

QString copyTables(SqlStore& from, SqlStore& to, bool replace, StoreCopyResult& result) {
    const QSqlDatabase source = from.database(), target = to.database();
    const QStringList tables = schemaTables();
    QSqlQuery query(target);
    for (auto table = tables.crbegin(); table != tables.crend(); ++table) {
        if (replace) {
            if (!query.exec("DELETE FROM " + *table))
                return query.lastError().text();
        } else if (!query.exec("SELECT count(*) FROM " + *table) || !query.next()) {
            return query.lastError().text();
        } else if (query.value(0).toLongLong() > 0) {
            return QStringLiteral("%1 already holds data (in %2); --replace empties it first")
                .arg(to.name(), *table);
        }
    }
    QList<QPair<QString, QStringList>> copied;
    for (const QString& table : tables) {
        const QStringList columns = columnsOf(target, table);
        QSqlQuery read(source), write(target);
        if (columns.isEmpty() || !read.exec(selectAll(table, columns)))
            return QStringLiteral("cannot read %1 of %2").arg(table, from.name());
        write.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (?%3)")
                .arg(table, columns.join(", "), QString(", ?").repeated(columns.size() - 1)));
        while (read.next()) {
            for (int i = 0; i < columns.size(); ++i) write.addBindValue(read.value(i));
            if (!write.exec())
                return QStringLiteral("%1: %2").arg(table, write.lastError().text());
        }
        copied.append({table, columns});
    }
    if (!to.continueNumbering(query))
        return query.lastError().text();
    // Read back from both sides, so that whatever the target made of a value shows.
    for (const auto& [table, columns] : copied) {
        const auto original = readRows(source, table, columns);
        const auto copy = readRows(target, table, columns);
        if (!original || !copy)
            return QStringLiteral("cannot read %1 back").arg(table);
        if (const QString differs = difference(table, columns, *original, *copy);
            !differs.isEmpty())
            return differs;
        result.tables.append({table, copy->size()});
    }
    return {};
}

}  // namespace

StoreCopyResult copyStore(SqlStore& from, SqlStore& to, bool replace) {
    StoreCopyResult result;
    QSqlDatabase target = to.database();
    if (!target.transaction()) {
        result.error = target.lastError().text();
        return result;
    }
    result.error = copyTables(from, to, replace, result);
    if (result.error.isEmpty() && !target.commit())
        result.error = target.lastError().text();
    if (!result.error.isEmpty()) {
        target.rollback();
        result.tables.clear();
    }
    return result;
}

}  // namespace kt::service
