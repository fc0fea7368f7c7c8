#include "app/blocking/BlockingController.h"

#include <cassert>

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

}  // namespace kt
