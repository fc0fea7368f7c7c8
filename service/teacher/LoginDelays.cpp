#include "teacher/LoginDelays.h"

#include <algorithm>

namespace kt::service {

qint64 LoginDelays::waitMs(const QString& key, qint64 nowMs) {
    qsizetype count = 0;
    qint64 latest = 0;
    if (shared_) {
        const QList<qint64> times =
            shared_->loginFailures(name_ + ':' + key, nowMs - policy_.windowMs);
        count = times.size();
        latest = times.isEmpty() ? 0 : times.last();
    } else {
        count = failures_.count(key, nowMs);
        latest = failures_.latest(key);
    }
    const qsizetype past = count - policy_.freeFailures;
    if (past <= 0)
        return 0;
    const qint64 delay =
        std::min(policy_.maxDelayMs, policy_.firstDelayMs << std::min<qsizetype>(past - 1, 30));
    return std::max<qint64>(0, latest + delay - nowMs);
}

void LoginDelays::recordFailure(const QString& key, qint64 nowMs) {
    if (shared_)
        shared_->addLoginFailure(name_ + ':' + key, nowMs);
    else
        failures_.record(key, nowMs);
}

void LoginDelays::takeBack(const QString& key, qint64 recordedMs) {
    if (shared_)
        shared_->removeLoginFailure(name_ + ':' + key, recordedMs);
    else
        failures_.takeBack(key, recordedMs);
}

}  // namespace kt::service
