#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/Time.h"

namespace kt {

// Holds the calling thread until a condition holds or a time has passed: the
// only place where the core may block on time (the quit waits for the
// service). Returns whether the condition holds.
class BlockingWait {
  public:
    virtual ~BlockingWait() = default;
    virtual bool waitFor(std::condition_variable& signal, std::unique_lock<std::mutex>& lock,
                         Seconds timeout, const std::function<bool()>& condition) = 0;
};

// The real wait, on the steady clock.
class SteadyBlockingWait final : public BlockingWait {
  public:
    bool waitFor(std::condition_variable& signal, std::unique_lock<std::mutex>& lock,
                 Seconds timeout, const std::function<bool()>& condition) override {
        return signal.wait_for(lock, timeout, condition);
    }
};

}  // namespace kt
