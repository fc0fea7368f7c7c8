#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>

#include "platform/Scheduler.h"

namespace kt::testing {

// The main queue and the wall clock in virtual time. Nothing runs until the
// test advances time or runs the queue; then due tasks run in the order of
// their due time, and tasks due at the same time in the order they were posted.
class ManualScheduler final : public Scheduler, public Clock {
  public:
    // Virtual time starts at this wall-clock moment.
    explicit ManualScheduler(TimePoint start = defaultStart());

    void post(Task task) override;
    void postAfter(Seconds delay, Task task) override;
    TimerId startRepeating(Seconds interval, Task task) override;
    void cancelRepeating(TimerId id) override;
    TimePoint now() const override;

    // Moves time forward by `delta`, running every task that falls due on the
    // way at its own time. Returns the number of tasks run.
    std::size_t advance(Seconds delta);
    // Runs every task that is due now, including the ones they post for now.
    std::size_t runUntilIdle();

    Seconds elapsed() const;
    std::size_t pendingTaskCount() const;
    std::size_t activeRepeatingCount() const;

    static TimePoint defaultStart();

  private:
    struct Entry {
        Task task;
        TimerId timer = 0;
        Seconds interval{0};
    };
    using Key = std::pair<double, std::uint64_t>;  // due time, sequence

    void enqueue(double due, Entry entry);
    bool runNextDueBy(double limit);

    mutable std::mutex mutex_;
    std::multimap<Key, Entry> queue_;
    std::set<TimerId> activeTimers_;
    double now_ = 0.0;
    std::uint64_t nextSequence_ = 0;
    TimerId nextTimer_ = 1;
    TimePoint start_;
};

}  // namespace kt::testing
