#pragma once

#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace kt::service {

// Cuts the database connection when the service's thread has not come back
// to its event loop for `deadlineMs`. A PostgreSQL server that hangs (halted,
// or stuck on its disk) keeps its connections open and answers nothing:
// its kernel acknowledges every packet, so none of libpq's timeouts ends the
// wait, and every instance on it would stop answering its students and
// teachers for good. The socket, shut down from a thread of this watch's
// own, wakes libpq with an error: the statement fails as it does while the
// database is away, and the instance connects again as after an outage.
//
// Armed by the first turn of the event loop, so that a long start (a schema
// change another instance holds) is never cut. `socket` gives the connection's
// descriptor, -1 for none; it is called on the watch's thread.
class DatabaseDeadline {
  public:
    DatabaseDeadline(int deadlineMs, std::function<int()> socket);
    ~DatabaseDeadline();
    DatabaseDeadline(const DatabaseDeadline&) = delete;
    DatabaseDeadline& operator=(const DatabaseDeadline&) = delete;

  private:
    void watch();
    static std::int64_t nowMs();

    const int deadlineMs_;
    const std::function<int()> socket_;
    QTimer beat_;
    std::atomic<std::int64_t> lastBeatMs_{0};  // 0: the event loop has not run yet
    std::atomic<bool> cut_{false};             // told by the next beat
    std::mutex mutex_;
    std::condition_variable wake_;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace kt::service
