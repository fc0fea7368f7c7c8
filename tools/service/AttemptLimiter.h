#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace kt::service {

// Counts attempts per key in a sliding window: at most `limit` within
// `windowMs`. Times are passed in, so that tests need no clock.
class AttemptLimiter {
  public:
    AttemptLimiter(int limit, qint64 windowMs) : limit_(limit), windowMs_(windowMs) {}

    // True while `key` has room for another attempt at `nowMs`.
    bool allows(const QString& key, qint64 nowMs);
    void record(const QString& key, qint64 nowMs);

  private:
    void forgetOld(QList<qint64>& times, qint64 nowMs) const;

    int limit_;
    qint64 windowMs_;
    QHash<QString, QList<qint64>> attempts_;
};

}  // namespace kt::service
