#include "app/session/ServiceCall.h"

#include <memory>
#include <utility>

namespace kt {

void sendToService(AppState& state, HttpRequest request,
                   std::function<void(AppState&, HttpResult)> handler) {
    Scheduler* mainQueue = state.ports().scheduler;
    std::weak_ptr<AppState> weak = state.weak_from_this();
    state.ports().http->send(
        std::move(request), [mainQueue, weak, handler = std::move(handler)](HttpResult result) {
            // Runs on the HTTP client's thread: hand over to the main queue.
            mainQueue->post([weak, handler, result = std::move(result)]() mutable {
                if (auto self = weak.lock())
                    handler(*self, std::move(result));
            });
        });
}

}  // namespace kt
