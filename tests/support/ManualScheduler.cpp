#include "ManualScheduler.h"

#include <chrono>
#include <utility>

namespace kt::testing {

ManualScheduler::ManualScheduler(TimePoint start) : start_(start) {}

TimePoint ManualScheduler::defaultStart() {
    // 2026-03-02 09:05:01 UTC, a Monday morning lesson.
    return TimePoint{std::chrono::seconds{1772442301}};
}

void ManualScheduler::enqueue(double due, Entry entry) {
    queue_.emplace(Key{due, nextSequence_++}, std::move(entry));
}

void ManualScheduler::post(Task task) {
    std::lock_guard lock(mutex_);
    enqueue(now_, Entry{std::move(task)});
}

void ManualScheduler::postAfter(Seconds delay, Task task) {
    std::lock_guard lock(mutex_);
    enqueue(now_ + delay.count(), Entry{std::move(task)});
}

Scheduler::TimerId ManualScheduler::startRepeating(Seconds interval, Task task) {
    std::lock_guard lock(mutex_);
    const TimerId id = nextTimer_++;
    activeTimers_.insert(id);
    enqueue(now_ + interval.count(), Entry{std::move(task), id, interval});
    return id;
}

void ManualScheduler::cancelRepeating(TimerId id) {
    std::lock_guard lock(mutex_);
    activeTimers_.erase(id);
}

TimePoint ManualScheduler::now() const {
    std::lock_guard lock(mutex_);
    const auto offset = std::chrono::duration_cast<TimePoint::duration>(Seconds{now_});
    return start_ + offset;
}

bool ManualScheduler::runNextDueBy(double limit) {
    Entry entry;
    {
        std::lock_guard lock(mutex_);
        for (;;) {
            if (queue_.empty() || queue_.begin()->first.first > limit)
                return false;
            auto node = queue_.extract(queue_.begin());
            const double due = node.key().first;
            entry = std::move(node.mapped());
            if (entry.timer != 0 && !activeTimers_.count(entry.timer))
                continue;
            if (due > now_)
                now_ = due;
            if (entry.timer != 0)
                enqueue(due + entry.interval.count(), entry);
            break;
        }
    }
    entry.task();
    return true;
}

std::size_t ManualScheduler::advance(Seconds delta) {
    double target;
    {
        std::lock_guard lock(mutex_);
        target = now_ + delta.count();
    }
    std::size_t ran = 0;
    while (runNextDueBy(target)) ++ran;
    std::lock_guard lock(mutex_);
    now_ = target;
    return ran;
}

std::size_t ManualScheduler::runUntilIdle() {
    return advance(Seconds{0});
}

Seconds ManualScheduler::elapsed() const {
    std::lock_guard lock(mutex_);
    return Seconds{now_};
}

std::size_t ManualScheduler::pendingTaskCount() const {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& [key, entry] : queue_)
        if (entry.timer == 0 || activeTimers_.count(entry.timer))
            ++count;
    return count;
}

std::size_t ManualScheduler::activeRepeatingCount() const {
    std::lock_guard lock(mutex_);
    return activeTimers_.size();
}

}  // namespace kt::testing
