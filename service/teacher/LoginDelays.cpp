#include "teacher/LoginDelays.h"

#include <algorithm>

namespace kt::service {

qint64 LoginDelays::waitMs(const QString& key, qint64 nowMs) {
    if (failures_.allows(key, nowMs))
        return 0;
    const qsizetype past = failures_.count(key, nowMs) - policy_.freeFailures;
    const qint64 delay =
        std::min(policy_.maxDelayMs, policy_.firstDelayMs << std::min<qsizetype>(past - 1, 30));
    return std::max<qint64>(0, failures_.latest(key) + delay - nowMs);
}

}  // namespace kt::service
