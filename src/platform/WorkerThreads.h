#pragma once

#include <functional>

namespace kt {

// Threads for work that blocks (child processes, lookups). Never the main
// thread: results go back through Scheduler::post.
class WorkerThreads {
  public:
    using Task = std::function<void()>;
    virtual ~WorkerThreads() = default;

    // Runs the task on a worker thread, concurrently with the other tasks
    // given. Callable from any thread.
    virtual void run(Task task) = 0;
};

}  // namespace kt
