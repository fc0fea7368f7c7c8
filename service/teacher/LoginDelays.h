#pragma once

#include <QString>

#include "http/AttemptLimiter.h"

namespace kt::service {

// Failed logins per key (an account, an address, a browser). Past the free
// failures within the window, each further one doubles the wait before the
// next attempt, from `firstDelayMs` up to `maxDelayMs`: a guesser slows down
// to one try per `maxDelayMs`, while the right password is never refused for
// longer than that. Nothing locks. Times are passed in, so tests need no clock.
class LoginDelays {
  public:
    struct Policy {
        int freeFailures;
        qint64 firstDelayMs;
        qint64 maxDelayMs;
        qint64 windowMs;
    };
    explicit LoginDelays(const Policy& policy)
        : policy_(policy), failures_(policy.freeFailures + 1, policy.windowMs) {}

    // How long `key` must still wait at `nowMs`: 0 when it may try now.
    qint64 waitMs(const QString& key, qint64 nowMs);
    // Counts a failure at `nowMs`. An attempt is counted when it starts, so
    // that those still being checked count as well.
    void recordFailure(const QString& key, qint64 nowMs) { failures_.record(key, nowMs); }
    // Takes back the failure counted at `recordedMs`: the attempt was right.
    void takeBack(const QString& key, qint64 recordedMs) { failures_.takeBack(key, recordedMs); }

  private:
    Policy policy_;
    AttemptLimiter failures_;  // allows while the failures are free
};

}  // namespace kt::service
