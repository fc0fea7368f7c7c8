#include "http/ServiceMetrics.h"

#include <algorithm>

namespace kt::service {
namespace {

QByteArray number(double value) {
    return QByteArray::number(value, 'g', 12);
}

QByteArray family(const char* name, const char* type, const char* help) {
    return QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

QByteArray sample(const char* name, quint64 value) {
    return QByteArray(name) + ' ' + QByteArray::number(value) + '\n';
}

}  // namespace

void ServiceMetrics::observeRequest(qint64 nanoseconds) {
    const double seconds = static_cast<double>(qMax<qint64>(nanoseconds, 0)) / 1e9;
    const auto bucket = std::lower_bound(durationBuckets.begin(), durationBuckets.end(), seconds);
    if (bucket != durationBuckets.end())
        ++inBucket_[static_cast<std::size_t>(bucket - durationBuckets.begin())];
    ++requests_;
    secondsInAll_ += seconds;
}

QByteArray ServiceMetrics::render(const Gauges& gauges) const {
    QByteArray page;
    page += family("ka_tesmar_open_connections", "gauge", "Open client connections.");
    page += sample("ka_tesmar_open_connections", static_cast<quint64>(gauges.openConnections));
    page += family("ka_tesmar_polls_total", "counter", "Status polls of the students.");
    page += sample("ka_tesmar_polls_total", polls_);
    page += family("ka_tesmar_students_online", "gauge", "Students who polled in the last 15 s.");
    page += sample("ka_tesmar_students_online", static_cast<quint64>(gauges.studentsOnline));
    page += family("ka_tesmar_database_errors_total", "counter", "Failed database statements.");
    page += sample("ka_tesmar_database_errors_total", gauges.databaseErrors);
    const char* duration = "ka_tesmar_request_duration_seconds";
    page += family(duration, "histogram", "From a request's last byte to its answer.");
    quint64 cumulative = 0;
    for (std::size_t i = 0; i < durationBuckets.size(); ++i) {
        cumulative += inBucket_[i];
        page += QByteArray(duration) + "_bucket{le=\"" + number(durationBuckets[i]) + "\"} " +
                QByteArray::number(cumulative) + '\n';
    }
    page += QByteArray(duration) + "_bucket{le=\"+Inf\"} " + QByteArray::number(requests_) + '\n';
    page += QByteArray(duration) + "_sum " + number(secondsInAll_) + '\n';
    page += QByteArray(duration) + "_count " + QByteArray::number(requests_) + '\n';
    return page;
}

}  // namespace kt::service
