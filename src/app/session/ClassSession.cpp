#include "app/session/ClassSession.h"

#include <cassert>

namespace kt {

ClassSession::ClassSession(const Ports& ports, PublishedState& state, StatusFollower& follower,
                           ServiceAddresses service)
    : apiBaseURL(std::move(service.apiBaseURL)),
      probeURL(std::move(service.probeURL)),
      state_(state),
      follower_(follower),
      ports_(ports) {
    assert(ports_.scheduler && ports_.clock);
}

std::shared_ptr<ClassSession> ClassSession::create(const Ports& ports, PublishedState& state,
                                                   StatusFollower& follower,
                                                   ServiceAddresses service) {
    return std::shared_ptr<ClassSession>(
        new ClassSession(ports, state, follower, std::move(service)));
}

}  // namespace kt
