#pragma once

#include <cstddef>
#include <deque>
#include <mutex>

#include "platform/WorkerThreads.h"

namespace kt::testing {

// Worker threads that run nothing until the test says so, in the order the
// test chooses, on the test's thread.
class ManualWorkers final : public WorkerThreads {
  public:
    void run(Task task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }

    std::size_t pending() const {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

    // Runs the oldest (or the newest) waiting task. Returns false when none waits.
    bool runOldest() { return runOne(true); }
    bool runNewest() { return runOne(false); }

    // Runs tasks, including the ones they add, until none is left.
    std::size_t runAll() {
        std::size_t n = 0;
        while (runOldest()) ++n;
        return n;
    }

  private:
    bool runOne(bool oldest) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty())
                return false;
            if (oldest) {
                task = std::move(tasks_.front());
                tasks_.pop_front();
            } else {
                task = std::move(tasks_.back());
                tasks_.pop_back();
            }
        }
        task();
        return true;
    }

    mutable std::mutex mutex_;
    std::deque<Task> tasks_;
};

}  // namespace kt::testing
