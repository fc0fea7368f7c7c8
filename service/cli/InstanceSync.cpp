#include "cli/InstanceSync.h"

#include <algorithm>

#include "limits/ServiceLimits.h"
#include "store/ChangeNotice.h"

namespace kt::service {

InstanceSync::InstanceSync(ServiceStore& store, ClassRegister& classes, TeacherAccounts& teachers,
                           int resyncMs)
    : store_(store), classes_(classes), teachers_(teachers), resyncMs_(resyncMs) {
    if (!store_.shared())
        return;
    if (!store_.listen([this](const QString& what) { heard(what); }))
        qWarning("ka-tesmar-service: cannot hear the other instances' changes; every %d s only",
                 resyncMs_ / 1000);
    sinceResync_.start();
    QObject::connect(&checkTimer_, &QTimer::timeout, [this] { check(); });
    checkTimer_.start(limits::databaseCheckMs);
}

void InstanceSync::heard(const QString& what) {
    const auto notice = ChangeNotice::read(what);
    if (!notice)
        return;
    if (notice->kind == ChangeNotice::Kind::Class)
        classes_.reloadClass(notice->key);
    else
        teachers_.reloadSession(notice->key);
}

bool InstanceSync::resync() {
    const bool read = classes_.resync() && teachers_.resync();
    if (read)
        sinceResync_.restart();
    return read;
}

void InstanceSync::check() {
    if (!away_) {
        if (store_.reachable()) {
            if (sinceResync_.elapsed() >= resyncMs_)
                resync();
            return;
        }
        away_ = true;
        reconnectDelayMs_ = limits::firstReconnectDelayMs;
        sinceTry_.start();
        qWarning(
            "ka-tesmar-service: the database does not answer; the polls are answered from "
            "memory and changes are refused until it does");
        return;
    }
    if (sinceTry_.elapsed() < reconnectDelayMs_)
        return;
    // The wait counts from the end of a try: one that waits for libpq's
    // connect timeout (a network that drops packets) must not be followed at
    // once by the next, which would hold the event loop for all of them.
    const bool connected = store_.reconnect();
    sinceTry_.restart();
    if (!connected) {
        reconnectDelayMs_ = std::min(2 * reconnectDelayMs_, limits::longestReconnectDelayMs);
        return;
    }
    away_ = false;
    // What the others changed meanwhile was announced to no one here.
    resync();
    classes_.tick();  // the last polls kept meanwhile
    qWarning("ka-tesmar-service: the database answers again");
}

}  // namespace kt::service
