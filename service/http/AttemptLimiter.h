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
    bool allows(const QString& key, qint64 nowMs) { return count(key, nowMs) < limit_; }
    void record(const QString& key, qint64 nowMs);
    // Takes back the attempt recorded at `recordedMs` (one that turned out right).
    void takeBack(const QString& key, qint64 recordedMs);
    // The attempts of `key` within the window at `nowMs`, and the time of the latest.
    qsizetype count(const QString& key, qint64 nowMs);
    qint64 latest(const QString& key) const;

  private:
    void forgetOld(QList<qint64>& times, qint64 nowMs) const;

    int limit_;
    qint64 windowMs_;
    QHash<QString, QList<qint64>> attempts_;  // oldest first
};

}  // namespace kt::service
