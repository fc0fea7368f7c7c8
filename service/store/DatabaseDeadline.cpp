#include "store/DatabaseDeadline.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>

namespace kt::service {

DatabaseDeadline::DatabaseDeadline(int deadlineMs, std::function<int()> socket)
    : deadlineMs_(deadlineMs), socket_(std::move(socket)) {
    QObject::connect(&beat_, &QTimer::timeout, [this] {
        lastBeatMs_ = nowMs();
        if (cut_.exchange(false))
            qWarning(
                "ka-tesmar-service: the database did not answer within %d s; its connection "
                "was cut",
                deadlineMs_ / 1000);
    });
    beat_.start(deadlineMs_ / 4);
    thread_ = std::thread([this] { watch(); });
}

DatabaseDeadline::~DatabaseDeadline() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

std::int64_t DatabaseDeadline::nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void DatabaseDeadline::watch() {
    // Once a wait is cut, the next one counts from the cut: a thread that
    // stays away (on a connection made meanwhile) is cut again, not for good.
    std::int64_t lastCutMs = 0;
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(deadlineMs_ / 8),
                           [this] { return ending_; })) {
        const std::int64_t beat = lastBeatMs_;
        if (beat == 0 || nowMs() - std::max(beat, lastCutMs) < deadlineMs_)
            continue;
        if (const int socket = socket_(); socket >= 0 && ::shutdown(socket, SHUT_RDWR) == 0) {
            lastCutMs = nowMs();
            cut_ = true;
        }
    }
}

}  // namespace kt::service
