#include "LoginDelays.h"

#include <algorithm>

namespace kt::service {

void LoginDelays::forgetOld(QList<qint64>& times, qint64 nowMs) const {
    while (!times.isEmpty() && times.first() <= nowMs - policy_.windowMs) times.removeFirst();
}

qint64 LoginDelays::waitMs(const QString& key, qint64 nowMs) {
    const auto it = failures_.find(key);
    if (it == failures_.end())
        return 0;
    forgetOld(*it, nowMs);
    const qsizetype past = it->size() - policy_.freeFailures;
    if (past <= 0) {
        if (it->isEmpty())
            failures_.erase(it);
        return 0;
    }
    const qint64 delay =
        std::min(policy_.maxDelayMs, policy_.firstDelayMs << std::min<qsizetype>(past - 1, 30));
    return std::max<qint64>(0, it->last() + delay - nowMs);
}

void LoginDelays::recordFailure(const QString& key, qint64 nowMs) {
    QList<qint64>& times = failures_[key];
    forgetOld(times, nowMs);
    times.append(nowMs);
    // Keys that stopped failing are dropped now and then, so that memory stays bounded.
    if (failures_.size() > 100000) {
        for (auto it = failures_.begin(); it != failures_.end();) {
            forgetOld(*it, nowMs);
            it = it->isEmpty() ? failures_.erase(it) : std::next(it);
        }
    }
}

void LoginDelays::takeBack(const QString& key, qint64 recordedMs) {
    const auto it = failures_.find(key);
    if (it != failures_.end())
        it->removeOne(recordedMs);
}

}  // namespace kt::service
