#pragma once

#include <cstdint>
#include <functional>

#include "platform/Time.h"

namespace kt {

// The main queue. All state changes of the application happen in tasks run
// by it, one after the other, on the main thread.
class Scheduler {
  public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;

    virtual ~Scheduler() = default;

    // Queues a task to run on the main thread. Callable from any thread.
    virtual void post(Task task) = 0;

    // Runs a task on the main thread once, `delay` from now. Callable from any thread.
    virtual void postAfter(Seconds delay, Task task) = 0;

    // Runs a task every `interval` until cancelled. Main thread only.
    virtual TimerId startRepeating(Seconds interval, Task task) = 0;
    virtual void cancelRepeating(TimerId id) = 0;
};

// The wall clock. Callable from any thread.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

}  // namespace kt
