#include "http/EpollEventDispatcher.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

namespace kt::service {
namespace {
constexpr int readyBatch = 256;
// What the kernel reports for each kind of notifier, and what activates it:
// a hang-up or an error wakes every notifier of the descriptor, as poll() does.
constexpr uint32_t asked[3] = {EPOLLIN, EPOLLOUT, EPOLLPRI};
constexpr uint32_t heard[3] = {EPOLLIN | EPOLLHUP | EPOLLERR, EPOLLOUT | EPOLLHUP | EPOLLERR,
                               EPOLLPRI | EPOLLHUP | EPOLLERR};

// Rounded up: a wait that ends before the timer is due would only spin.
int millisUntil(std::chrono::steady_clock::time_point due) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
    return int(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0,
                                                          std::numeric_limits<int>::max()));
}
}  // namespace

EpollEventDispatcher::EpollEventDispatcher(QObject* parent)
    : QAbstractEventDispatcher(parent),
      epoll_(::epoll_create1(EPOLL_CLOEXEC)),
      wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = wakeFd_;
    if (valid() && ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wakeFd_, &wake) != 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
}

EpollEventDispatcher::~EpollEventDispatcher() {
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    if (epoll_ >= 0)
        ::close(epoll_);
}

bool EpollEventDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    interrupted_.storeRelaxed(0);
    emit awake();
    QCoreApplication::sendPostedEvents();
    if (interrupted_.loadRelaxed())
        return false;

    tellKernel();
    const int timeout = waitMillis(flags);
    if (timeout != 0)
        emit aboutToBlock();
    epoll_event ready[readyBatch];  // on the stack: a nested loop has its own
    int count = ::epoll_wait(epoll_, ready, readyBatch, timeout);
    if (count < 0)
        count = 0;  // EINTR: a signal came; the turn simply ends early
    if (timeout != 0)
        emit awake();

    int activity = 0;
    for (int i = 0; i < count; ++i) {
        if (ready[i].data.fd == wakeFd_) {
            drainWakeUps();
            QCoreApplication::sendPostedEvents();
            ++activity;
        }
    }
    if (interrupted_.loadRelaxed())
        return activity > 0;
    if (!(flags & QEventLoop::ExcludeSocketNotifiers))
        activity += activateNotifiers(ready, count);
    if (!(flags & QEventLoop::X11ExcludeTimers))
        activity += activateTimers();
    return activity > 0;
}

void EpollEventDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    const int fd = int(notifier->socket());
    Watched& watched = watched_[fd];
    QSocketNotifier*& slot = watched.notifiers[notifier->type()];
    // Another notifier still holds this number: its descriptor was closed
    // under it (a database library that drops a lost connection), and the
    // kernel forgot that one. The number is a new socket's now: tell it anew.
    if (slot && slot != notifier)
        watched.inKernel = 0;
    slot = notifier;
    changed_.insert(fd);
}

void EpollEventDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    const int fd = int(notifier->socket());
    const auto it = watched_.find(fd);
    if (it == watched_.end() || it->second.notifiers[notifier->type()] != notifier)
        return;
    Watched& watched = it->second;
    watched.notifiers[notifier->type()] = nullptr;
    if (watched.notifiers[0] || watched.notifiers[1] || watched.notifiers[2]) {
        changed_.insert(fd);
        return;
    }
    // At once, while the descriptor is still open: a socket closed after this
    // leaves its number to the next connection, maybe within this same turn.
    if (watched.inKernel)
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    watched_.erase(it);
}

// The kernel learns of notifiers once per turn, so a notifier switched off and
// on again within a turn (every reply a socket writes) costs no system call.
void EpollEventDispatcher::tellKernel() {
    for (const int fd : changed_) {
        const auto it = watched_.find(fd);
        if (it == watched_.end())
            continue;
        Watched& watched = it->second;
        uint32_t want = 0;
        for (int type = 0; type < 3; ++type) want |= watched.notifiers[type] ? asked[type] : 0;
        if (want != watched.inKernel) {  // else switched off and on again since the last turn
            epoll_event event{};
            event.events = want;
            event.data.fd = fd;
            int op = watched.inKernel ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
            int result = ::epoll_ctl(epoll_, op, fd, &event);
            // A descriptor closed while watched left the kernel's set, and one
            // reopened under its number may still be in it.
            if (result != 0 && (errno == ENOENT || errno == EEXIST)) {
                op = errno == ENOENT ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
                result = ::epoll_ctl(epoll_, op, fd, &event);
            }
            if (result != 0) {
                qWarning("epoll: descriptor %d cannot be watched: %s", fd, std::strerror(errno));
                want = 0;
            }
        }
        watched.inKernel = want;
    }
    changed_.clear();
}

int EpollEventDispatcher::activateNotifiers(const epoll_event* ready, int count) {
    int activated = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = ready[i].data.fd;
        if (fd == wakeFd_)
            continue;  // drained before
        for (int type = 0; type < 3; ++type) {
            if (!(ready[i].events & heard[type]))
                continue;
            // Looked up again for each: an earlier event may have switched
            // this notifier off or deleted it.
            const auto it = watched_.find(fd);
            if (it == watched_.end())
                break;
            QSocketNotifier* notifier = it->second.notifiers[type];
            if (!notifier)
                continue;
            QEvent event(QEvent::SockAct);
            QCoreApplication::sendEvent(notifier, &event);
            ++activated;
        }
    }
    return activated;
}

int EpollEventDispatcher::waitMillis(QEventLoop::ProcessEventsFlags flags) const {
    if (!(flags & QEventLoop::WaitForMoreEvents) || interrupted_.loadRelaxed())
        return 0;
    if (flags & QEventLoop::X11ExcludeTimers)
        return -1;
    for (const auto& [due, timerId] : dueOrder_) {
        if (timers_.at(timerId).running)
            continue;  // not due again until its event returned
        return millisUntil(due);
    }
    return -1;
}

int EpollEventDispatcher::activateTimers() {
    const auto now = Clock::now();
    std::vector<int> due;
    for (auto it = dueOrder_.begin(); it != dueOrder_.end() && it->first <= now; ++it)
        due.push_back(it->second);
    int fired = 0;
    for (const int timerId : due) {
        auto it = timers_.find(timerId);
        // Gone, re-armed by an earlier event of this turn, or already running.
        if (it == timers_.end() || it->second.due > now || it->second.running)
            continue;
        Timer& timer = it->second;
        auto next = timer.due + Millis(timer.interval);
        schedule(timerId, timer, next > now ? next : now + Millis(timer.interval));
        timer.running = true;
        QTimerEvent event(timerId);
        QCoreApplication::sendEvent(timer.object, &event);
        ++fired;
        it = timers_.find(timerId);  // the event may have stopped or replaced it
        if (it != timers_.end())
            it->second.running = false;
    }
    return fired;
}

void EpollEventDispatcher::schedule(int timerId, Timer& timer, Clock::time_point due) {
    dueOrder_.erase({timer.due, timerId});
    timer.due = due;
    dueOrder_.insert({due, timerId});
}

void EpollEventDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                         QObject* object) {
    const auto due = Clock::now() + Millis(interval);
    timers_.insert_or_assign(timerId, Timer{object, interval, timerType, due});
    dueOrder_.insert({due, timerId});
    timersOf_.emplace(object, timerId);
}

bool EpollEventDispatcher::unregisterTimer(int timerId) {
    const auto it = timers_.find(timerId);
    if (it == timers_.end())
        return false;
    dueOrder_.erase({it->second.due, timerId});
    auto [first, last] = timersOf_.equal_range(it->second.object);
    for (; first != last; ++first) {
        if (first->second == timerId) {
            timersOf_.erase(first);
            break;
        }
    }
    timers_.erase(it);
    return true;
}

bool EpollEventDispatcher::unregisterTimers(QObject* object) {
    const auto [first, last] = timersOf_.equal_range(object);
    if (first == last)
        return false;
    for (auto it = first; it != last; ++it) {
        dueOrder_.erase({timers_.at(it->second).due, it->second});
        timers_.erase(it->second);
    }
    timersOf_.erase(first, last);
    return true;
}

QList<QAbstractEventDispatcher::TimerInfo> EpollEventDispatcher::registeredTimers(
    QObject* object) const {
    QList<TimerInfo> found;
    const auto [first, last] = timersOf_.equal_range(object);
    for (auto it = first; it != last; ++it) {
        const Timer& timer = timers_.at(it->second);
        found.append(TimerInfo(it->second, int(timer.interval), timer.type));
    }
    return found;
}

int EpollEventDispatcher::remainingTime(int timerId) {
    const auto it = timers_.find(timerId);
    if (it == timers_.end())
        return -1;
    return millisUntil(it->second.due);
}

void EpollEventDispatcher::wakeUp() {
    // One write until the loop drained it, however many threads post.
    if (wakeUps_.testAndSetAcquire(0, 1))
        ::eventfd_write(wakeFd_, 1);
}

void EpollEventDispatcher::drainWakeUps() {
    eventfd_t count = 0;
    ::eventfd_read(wakeFd_, &count);
    wakeUps_.storeRelease(0);
}

void EpollEventDispatcher::interrupt() {
    interrupted_.storeRelaxed(1);
    wakeUp();
}

}  // namespace kt::service
