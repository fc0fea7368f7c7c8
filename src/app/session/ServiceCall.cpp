#include "app/session/ServiceCall.h"

#include <memory>
#include <utility>

namespace kt {

void sendToService(ClassSession& session, HttpRequest request,
                   std::function<void(ClassSession&, HttpResult)> handler) {
    Scheduler* mainQueue = session.ports().scheduler;
    std::weak_ptr<ClassSession> weak = session.weak_from_this();
    session.ports().http->send(
        std::move(request), [mainQueue, weak, handler = std::move(handler)](HttpResult result) {
            // Runs on the HTTP client's thread: hand over to the main queue.
            mainQueue->post([weak, handler, result = std::move(result)]() mutable {
                if (auto self = weak.lock())
                    handler(*self, std::move(result));
            });
        });
}

}  // namespace kt
