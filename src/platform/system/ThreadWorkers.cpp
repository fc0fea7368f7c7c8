#include "platform/system/ThreadWorkers.h"

#include <chrono>
#include <thread>

namespace kt {

namespace {
// How long an idle thread waits for more work before it ends.
constexpr auto idleLifetime = std::chrono::seconds(30);
}  // namespace

ThreadWorkers::ThreadWorkers(std::size_t maxThreads) : maxThreads_(maxThreads ? maxThreads : 1) {}

ThreadWorkers::~ThreadWorkers() {
    std::deque<Task> abandoned;
    std::unique_lock lock(mutex_);
    stopping_ = true;
    abandoned.swap(tasks_);
    wake_.notify_all();
    ended_.wait(lock, [this] { return threads_ == 0; });
}

void ThreadWorkers::run(Task task) {
    std::lock_guard lock(mutex_);
    if (stopping_)
        return;
    tasks_.push_back(std::move(task));
    // Every waiting task needs a thread of its own, idle or new: a batch
    // must never line up behind the few threads an earlier batch left idle.
    if (tasks_.size() > idle_ && threads_ < maxThreads_) {
        ++threads_;
        std::thread([this] { work(); }).detach();
    }
    if (idle_ > 0)
        wake_.notify_one();
}

void ThreadWorkers::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!tasks_.empty()) {
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            task = nullptr;  // what the task held goes before the pool may end
            lock.lock();
            continue;
        }
        if (stopping_)
            break;
        ++idle_;
        bool woken =
            wake_.wait_for(lock, idleLifetime, [this] { return stopping_ || !tasks_.empty(); });
        --idle_;
        if (!woken)
            break;
    }
    // The pool may be destroyed as soon as the count reaches 0: touch nothing after.
    --threads_;
    ended_.notify_all();
}

}  // namespace kt
