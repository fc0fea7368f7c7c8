#pragma once

#include <QHash>
#include <QHostAddress>
#include <utility>

#include "http/ConnectionLimits.h"

namespace kt::service {

// Counts the open connections, in all and per client address (IPv6 per /64,
// the network one computer chooses its addresses from), against the caps.
class ConnectionCounter {
  public:
    // Serve: counted and served. OverAddressCap, OverTotalCap: to be answered
    // with a refusal. Drop: to be closed at once (too many refusals under way).
    enum class Admission { Serve, OverAddressCap, OverTotalCap, Drop };

    explicit ConnectionCounter(const ConnectionLimits& limits);

    // Counts a new connection from `peer`; what to do with it.
    Admission admit(const QHostAddress& peer);
    // A connection refused over its address's cap is served after all (a
    // teacher's browser behind the students' address): counted as served
    // from now on, beyond the address's cap. False when the total cap is full.
    bool serveAfterAll(const QHostAddress& peer);
    // The connection that `admit` counted has closed.
    void release(const QHostAddress& peer, Admission admission);
    // Connections counted and open now.
    int open() const { return open_; }
    // How many were dropped since the last call.
    int takeDropped() { return std::exchange(dropped_, 0); }

  private:
    static QHostAddress group(const QHostAddress& peer);

    int perAddress_, total_, refusing_;
    int open_ = 0, refusals_ = 0, dropped_ = 0;
    QHash<QHostAddress, int> openFrom_;
};

}  // namespace kt::service
