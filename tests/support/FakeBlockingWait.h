#pragma once

#include <optional>

#include "platform/BlockingWait.h"

namespace kt::testing {

// Never waits: runs `whileWaiting` (where a test may answer what is awaited,
// with the lock released as during a real wait) and reports the condition.
class FakeBlockingWait final : public BlockingWait {
  public:
    bool waitFor(std::condition_variable&, std::unique_lock<std::mutex>& lock, Seconds timeout,
                 const std::function<bool()>& condition) override {
        lastTimeout = timeout;
        ++waits;
        if (whileWaiting) {
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
        lastResult = condition();
        return *lastResult;
    }

    std::function<void()> whileWaiting;
    std::optional<Seconds> lastTimeout;
    std::optional<bool> lastResult;  // what the condition said when the wait ended
    int waits = 0;
};

}  // namespace kt::testing
