#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include "classes/ClassRegister.h"
#include "store/ServiceStore.h"
#include "teacher/TeacherAccounts.h"

namespace kt::service {

// Keeps one instance in step with the others on a shared database: reads
// again what they announce (ChangeNotice), everything every `resyncMs`, and
// connects again after the database went away, each failed try waiting
// longer (ServiceLimits). On the database's return it reads everything again
// and writes the last polls kept meanwhile. On a store of one instance
// (SQLite) it does nothing.
class InstanceSync {
  public:
    InstanceSync(ServiceStore& store, ClassRegister& classes, TeacherAccounts& teachers,
                 int resyncMs);
    InstanceSync(const InstanceSync&) = delete;
    InstanceSync& operator=(const InstanceSync&) = delete;

  private:
    void heard(const QString& what);
    void check();
    bool resync();

    ServiceStore& store_;
    ClassRegister& classes_;
    TeacherAccounts& teachers_;
    int resyncMs_;
    QTimer checkTimer_;
    QElapsedTimer sinceResync_;
    QElapsedTimer sinceTry_;
    bool away_ = false;
    int reconnectDelayMs_ = 0;
};

}  // namespace kt::service
