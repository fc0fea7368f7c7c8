#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

class QCommandLineParser;

namespace kt::service {

// How long a client may take and how many connections may be open. The
// defaults fit a school of 5,000 students behind one NAT address (each with a
// stale and a fresh connection after a network blip, and the teachers'
// browsers) and the packaged unit's open-file limit of 65,536.
struct ConnectionLimits {
    int requestTimeoutMs = 10'000;  // a request's head and body, from its first byte
    int idleTimeoutMs = 60'000;     // between requests; above the students' 5 s poll
    int perAddress = 12'000;        // IPv6: per /64
    int total = 60'000;
    // Connections over a cap that are being answered with a refusal; further
    // ones are closed at once, unanswered.
    int refusing = 1'024;
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
