#include "http/AttemptLimiter.h"

#include "limits/ServiceLimits.h"

namespace kt::service {

void AttemptLimiter::forgetOld(QList<qint64>& times, qint64 nowMs) const {
    while (!times.isEmpty() && times.first() <= nowMs - windowMs_) times.removeFirst();
}

qsizetype AttemptLimiter::count(const QString& key, qint64 nowMs) {
    const auto it = attempts_.find(key);
    if (it == attempts_.end())
        return 0;
    forgetOld(*it, nowMs);
    if (it->isEmpty()) {
        attempts_.erase(it);
        return 0;
    }
    return it->size();
}

qint64 AttemptLimiter::latest(const QString& key) const {
    const auto it = attempts_.constFind(key);
    return it == attempts_.cend() || it->isEmpty() ? 0 : it->last();
}

void AttemptLimiter::record(const QString& key, qint64 nowMs) {
    QList<qint64>& times = attempts_[key];
    forgetOld(times, nowMs);
    times.append(nowMs);
    // Keys that stopped trying are dropped now and then, so that memory stays bounded.
    if (attempts_.size() > limits::attemptKeysKept) {
        for (auto it = attempts_.begin(); it != attempts_.end();) {
            forgetOld(*it, nowMs);
            it = it->isEmpty() ? attempts_.erase(it) : std::next(it);
        }
    }
}

void AttemptLimiter::takeBack(const QString& key, qint64 recordedMs) {
    const auto it = attempts_.find(key);
    if (it != attempts_.end())
        it->removeOne(recordedMs);
}

}  // namespace kt::service
