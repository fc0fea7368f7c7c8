#include "store/DatabaseDeadline.h"

#include <sys/socket.h>

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
    std::int64_t cutAfterBeat = 0;  // one cut for each time the loop stays away
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(deadlineMs_ / 8),
                           [this] { return ending_; })) {
        const std::int64_t beat = lastBeatMs_;
        if (beat == 0 || beat == cutAfterBeat || nowMs() - beat < deadlineMs_)
            continue;
        if (const int socket = socket_(); socket >= 0 && ::shutdown(socket, SHUT_RDWR) == 0) {
            cutAfterBeat = beat;
            cut_ = true;
        }
    }
}

}  // namespace kt::service
