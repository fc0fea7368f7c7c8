#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include "limits/ServiceLimits.h"

class QCommandLineParser;

namespace kt::service {

// How long a client may take and how many connections may be open: the
// limits of ServiceLimits.h, which `serve` may change.
struct ConnectionLimits {
    int requestTimeoutMs = limits::requestTimeoutMs;
    int idleTimeoutMs = limits::idleTimeoutMs;
    int perAddress = limits::connectionsPerAddress;
    int total = limits::connectionsInAll;
    int refusing = limits::refusingAtOnce;
    // Status polls answered on one connection before it is ended; 0: no end.
    int pollsPerConnection = 0;
};

// The options of `serve` that set them.
QList<QCommandLineOption> connectionLimitOptions();

// Reads those options into `limits`; an error text when one is out of range.
QString readConnectionLimits(const QCommandLineParser& parser, ConnectionLimits& limits);

// Lowers the caps so that every connection, counted with the descriptors the
// service needs itself, fits under `openFiles`. Returns a note saying so when
// it lowered them; the total is 0 when no connection fits at all.
QString fitToOpenFileLimit(ConnectionLimits& limits, quint64 openFiles);

// One line for the start-up output.
QString describe(const ConnectionLimits& limits);

}  // namespace kt::service
