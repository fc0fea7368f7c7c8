#include "platform/qt/QtScheduler.h"

#include <QMetaObject>
#include <chrono>

namespace kt {
namespace {

std::chrono::milliseconds toMilliseconds(Seconds s) {
    return std::chrono::round<std::chrono::milliseconds>(s);
}

}  // namespace

QtScheduler::QtScheduler() = default;

QtScheduler::~QtScheduler() {
    for (auto& [id, timer] : timers_) delete timer;
}

void QtScheduler::post(Task task) {
    QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
}

void QtScheduler::postAfter(Seconds delay, Task task) {
    const auto ms = toMilliseconds(delay);
    // A timer must be started on the thread that owns its context.
    QMetaObject::invokeMethod(
        &context_,
        [this, ms, task = std::move(task)]() mutable {
            QTimer::singleShot(ms, &context_, std::move(task));
        },
        Qt::AutoConnection);
}

Scheduler::TimerId QtScheduler::startRepeating(Seconds interval, Task task) {
    auto* timer = new QTimer(&context_);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(toMilliseconds(interval));
    QObject::connect(timer, &QTimer::timeout, &context_, std::move(task));
    timer->start();
    const TimerId id = nextId_++;
    timers_.emplace(id, timer);
    return id;
}

void QtScheduler::cancelRepeating(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end())
        return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

}  // namespace kt
