#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "platform/WorkerThreads.h"

namespace kt {

// A pool that gives every task a thread at once, idle or new, up to
// `maxThreads`, and lets idle threads end. Lookups block on child processes,
// so the pool is sized for all of them at once rather than for the number
// of cores.
class ThreadWorkers final : public WorkerThreads {
  public:
    explicit ThreadWorkers(std::size_t maxThreads = 64);
    // Abandons the tasks still waiting for a thread (they never run) and
    // waits for the running ones to end.
    ~ThreadWorkers() override;

    // Ignored once the pool is being destroyed.
    void run(Task task) override;

  private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable ended_;
    std::deque<Task> tasks_;
    std::size_t maxThreads_;
    std::size_t threads_ = 0;
    std::size_t idle_ = 0;
    bool stopping_ = false;
};

}  // namespace kt
