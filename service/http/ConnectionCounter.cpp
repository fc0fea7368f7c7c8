#include "http/ConnectionCounter.h"

namespace kt::service {

ConnectionCounter::ConnectionCounter(const ConnectionLimits& limits)
    : perAddress_(limits.perAddress), total_(limits.total), refusing_(limits.refusing) {}

ConnectionCounter::Admission ConnectionCounter::admit(const QHostAddress& peer) {
    const QHostAddress key = group(peer);
    int& fromPeer = openFrom_[key];
    if (fromPeer < perAddress_ && open_ < total_) {
        ++fromPeer, ++open_;
        return Admission::Serve;
    }
    const Admission refusal =
        fromPeer >= perAddress_ ? Admission::OverAddressCap : Admission::OverTotalCap;
    if (fromPeer == 0)
        openFrom_.remove(key);
    if (refusals_ >= refusing_) {
        ++dropped_;
        return Admission::Drop;
    }
    ++refusals_;
    return refusal;
}

bool ConnectionCounter::serveAfterAll(const QHostAddress& peer) {
    if (open_ >= total_)
        return false;
    --refusals_, ++open_, ++openFrom_[group(peer)];
    return true;
}

void ConnectionCounter::release(const QHostAddress& peer, Admission admission) {
    if (admission == Admission::Drop)
        return;
    if (admission != Admission::Serve) {
        --refusals_;
        return;
    }
    --open_;
    const auto found = openFrom_.find(group(peer));
    if (found != openFrom_.end() && --*found == 0)
        openFrom_.erase(found);
}

QHostAddress ConnectionCounter::group(const QHostAddress& peer) {
    bool isV4 = false;
    peer.toIPv4Address(&isV4);  // also an IPv4 address mapped into IPv6
    if (isV4 || peer.protocol() != QAbstractSocket::IPv6Protocol)
        return QHostAddress(peer.toIPv4Address());
    Q_IPV6ADDR address = peer.toIPv6Address();
    for (int i = 8; i < 16; ++i) address[i] = 0;
    return QHostAddress(address);
}

}  // namespace kt::service
