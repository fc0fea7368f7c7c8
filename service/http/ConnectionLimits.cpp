#include "http/ConnectionLimits.h"

#include <QCommandLineParser>
#include <algorithm>

namespace kt::service {
namespace {

bool readSeconds(const QString& text, int& milliseconds) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds >= 0.001 && seconds <= 86400))
        return false;
    milliseconds = qRound(seconds * 1000);
    return true;
}

bool readCount(const QString& text, int& count) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1)
        return false;
    count = value;
    return true;
}

}  // namespace

QList<QCommandLineOption> connectionLimitOptions() {
    const ConnectionLimits defaults;
    const QString requestSeconds = QString::number(defaults.requestTimeoutMs / 1000.0),
                  idleSeconds = QString::number(defaults.idleTimeoutMs / 1000.0),
                  total = QString::number(defaults.total),
                  perAddress = QString::number(defaults.perAddress);
    return {
        {"request-timeout",
         "Seconds a request's head and body may take to arrive, from its first byte (" +
             requestSeconds + ").",
         "seconds", requestSeconds},
        {"idle-timeout",
         "Seconds a kept-alive connection may wait for its next request (" + idleSeconds + ").",
         "seconds", idleSeconds},
        {"max-connections",
         "Open connections in all (" + total + ", lowered to fit the open-file limit).", "n",
         total},
        {"max-connections-per-address",
         "Open connections from one address, IPv6 per /64 (" + perAddress + ").", "n", perAddress},
    };
}

QString readConnectionLimits(const QCommandLineParser& parser, ConnectionLimits& limits) {
    if (!readSeconds(parser.value("request-timeout"), limits.requestTimeoutMs) ||
        !readSeconds(parser.value("idle-timeout"), limits.idleTimeoutMs))
        return QStringLiteral("a timeout is a number of seconds from 0.001 to 86400");
    if (!readCount(parser.value("max-connections"), limits.total) ||
        !readCount(parser.value("max-connections-per-address"), limits.perAddress))
        return QStringLiteral("a number of connections is a whole number from 1");
    return {};
}

QString fitToOpenFileLimit(ConnectionLimits& limits, quint64 openFiles) {
    const quint64 available =
        openFiles > limits::ownDescriptors ? openFiles - limits::ownDescriptors : 0;
    if (quint64(limits.total) + quint64(limits.refusing) <= available)
        return {};
    // About one refusal under way for every 16 open connections.
    limits.refusing = int(std::clamp<quint64>(available / 17, 1, quint64(limits.refusing)));
    limits.total = int(available > quint64(limits.refusing) ? available - limits.refusing : 0);
    limits.perAddress = std::min(limits.perAddress, limits.total);
    return QStringLiteral("the open-file limit of %1 allows %2 connections")
        .arg(openFiles)
        .arg(limits.total);
}

QString describe(const ConnectionLimits& limits) {
    return QStringLiteral(
               "Connections: at most %1, %2 per address; a request within %3 s, idle at most %4 s")
        .arg(limits.total)
        .arg(limits.perAddress)
        .arg(limits.requestTimeoutMs / 1000.0)
        .arg(limits.idleTimeoutMs / 1000.0);
}

}  // namespace kt::service
