#pragma once

#include <sys/epoll.h>

#include <QAbstractEventDispatcher>
#include <QAtomicInt>
#include <chrono>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

class QSocketNotifier;

namespace kt::service {

// The service's event loop on Linux's epoll. Qt's own dispatcher hands every
// open socket to poll() on every turn and keeps its timers in one sorted
// list; with ten thousand students connected that walk, not the polls, took
// the whole core. Here a turn costs what is ready, and a connection's
// timer is re-armed in logarithmic time.
//
// Semantics follow Qt's: level-triggered notifiers (a read notifier also
// hears a hang-up or error), a timer never re-entered while its own event
// runs, posted events sent at the start of a turn and after a wake-up.
class EpollEventDispatcher : public QAbstractEventDispatcher {
  public:
    explicit EpollEventDispatcher(QObject* parent = nullptr);
    ~EpollEventDispatcher() override;
    // False when the kernel gave no epoll or eventfd descriptor: use Qt's.
    bool valid() const { return epoll_ >= 0 && wakeFd_ >= 0; }

    using QAbstractEventDispatcher::registerTimer;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;
    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                       QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;
    void wakeUp() override;
    void interrupt() override;

  private:
    using Clock = std::chrono::steady_clock;
    using Millis = std::chrono::milliseconds;

    // The notifiers of one descriptor, by QSocketNotifier::Type, and the
    // events the kernel was last told to report for it.
    struct Watched {
        QSocketNotifier* notifiers[3] = {nullptr, nullptr, nullptr};
        uint32_t inKernel = 0;
    };
    struct Timer {
        QObject* object;
        qint64 interval;
        Qt::TimerType type;
        Clock::time_point due;
        bool running = false;  // its event is being delivered
    };

    void tellKernel();
    int waitMillis(QEventLoop::ProcessEventsFlags flags) const;
    int activateNotifiers(const epoll_event* ready, int count);
    int activateTimers();
    void schedule(int timerId, Timer& timer, Clock::time_point due);
    void drainWakeUps();

    int epoll_ = -1;
    int wakeFd_ = -1;
    QAtomicInt wakeUps_ = 0;
    QAtomicInt interrupted_ = 0;
    std::unordered_map<int, Watched> watched_;
    std::unordered_set<int> changed_;  // told to the kernel before the next wait
    std::unordered_map<int, Timer> timers_;
    std::set<std::pair<Clock::time_point, int>> dueOrder_;
    std::unordered_multimap<QObject*, int> timersOf_;
};

}  // namespace kt::service
