#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <map>

#include "platform/Scheduler.h"

namespace kt {

// The main queue as the Qt event loop of the thread that creates it.
class QtScheduler final : public Scheduler {
  public:
    QtScheduler();
    ~QtScheduler() override;

    void post(Task task) override;
    void postAfter(Seconds delay, Task task) override;
    TimerId startRepeating(Seconds interval, Task task) override;
    void cancelRepeating(TimerId id) override;

  private:
    QObject context_;
    std::map<TimerId, QTimer*> timers_;
    TimerId nextId_ = 1;
};

}  // namespace kt
