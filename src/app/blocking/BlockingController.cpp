#include "app/blocking/BlockingController.h"

#include <cassert>

#include "blocking/HostsEntry.h"

namespace kt {

BlockingController::BlockingController(const Ports& ports, PublishedState& state,
                                       SessionRequests& session, std::string serviceURL)
    : serviceURL(std::move(serviceURL)), state_(state), session_(session), ports_(ports) {
    assert(ports_.scheduler);
}

std::shared_ptr<BlockingController> BlockingController::create(const Ports& ports,
                                                               PublishedState& state,
                                                               SessionRequests& session,
                                                               std::string serviceURL) {
    return std::shared_ptr<BlockingController>(
        new BlockingController(ports, state, session, std::move(serviceURL)));
}

BlockReport BlockingController::reportInForce(BlockOutcome outcome,
                                              std::optional<std::string> error) const {
    return {outcome, std::move(error), namesCountFor(state_.hostsCount), state_.firewallCount};
}

}  // namespace kt
