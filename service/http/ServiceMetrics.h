#pragma once

#include <QByteArray>
#include <array>

namespace kt::service {

// What the people who run the service watch, in Prometheus's text format:
// counters kept here, gauges given when the page is made.
class ServiceMetrics {
  public:
    // Upper bounds of the request duration buckets, in seconds: a poll takes
    // well under a millisecond, a teacher's login about half a second.
    static constexpr std::array<double, 12> durationBuckets = {
        0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5};

    struct Gauges {
        int openConnections = 0;
        int studentsOnline = 0;
        quint64 databaseErrors = 0;  // counted by the store
    };

    void countPoll() { ++polls_; }
    void observeRequest(qint64 nanoseconds);

    QByteArray render(const Gauges& gauges) const;

  private:
    quint64 polls_ = 0;
    std::array<quint64, durationBuckets.size()> inBucket_{};  // not cumulative
    quint64 requests_ = 0;
    double secondsInAll_ = 0;
};

}  // namespace kt::service
