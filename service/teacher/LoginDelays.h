#pragma once

#include <QString>

#include "http/AttemptLimiter.h"
#include "store/ServiceStore.h"

namespace kt::service {

// Failed logins per key (an account, an address, a browser). Past the free
// failures within the window, each further one doubles the wait before the
// next attempt, from `firstDelayMs` up to `maxDelayMs`: a guesser slows down
// to one try per `maxDelayMs`, while the right password is never refused for
// longer than that. Nothing locks. Times are passed in, so tests need no clock.
// On a store that instances share, the failures are kept there (each key
// under `name`:), so that every instance counts them all.
class LoginDelays {
  public:
    struct Policy {
        int freeFailures;
        qint64 firstDelayMs;
        qint64 maxDelayMs;
        qint64 windowMs;
    };
    explicit LoginDelays(const Policy& policy, ServiceStore* shared = nullptr, QString name = {})
        : policy_(policy),
          failures_(policy.freeFailures + 1, policy.windowMs),
          shared_(shared),
          name_(std::move(name)) {}

    // How long `key` must still wait at `nowMs`: 0 when it may try now.
    qint64 waitMs(const QString& key, qint64 nowMs);
    // Counts a failure at `nowMs`. An attempt is counted when it starts, so
    // that those still being checked count as well.
    void recordFailure(const QString& key, qint64 nowMs);
    // Takes back the failure counted at `recordedMs`: the attempt was right.
    void takeBack(const QString& key, qint64 recordedMs);

  private:
    Policy policy_;
    AttemptLimiter failures_;  // allows while the failures are free
    ServiceStore* shared_;     // keeps the failures instead, when given
    QString name_;
};

}  // namespace kt::service
