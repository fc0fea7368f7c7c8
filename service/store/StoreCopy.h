#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include "store/SqlStore.h"

namespace kt::service {

struct StoreCopyResult {
    QString error;                            // empty when every row arrived as it was
    QList<QPair<QString, qsizetype>> tables;  // each table and its rows, when it did
};

// Copies every table of `from` into `to`, both open, in one transaction of
// `to`, and reads both back and compares them row for row before it commits:
// on any error `to` is left as it was. `to` must hold no rows, unless
// `replace`, which empties it first.
StoreCopyResult copyStore(SqlStore& from, SqlStore& to, bool replace);

}  // namespace kt::service
