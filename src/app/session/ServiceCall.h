#pragma once

#include <functional>

#include "app/AppState.h"
#include "platform/HttpClient.h"

namespace kt {

// Sends `request` through the HTTP port; `handler` runs later on the main
// queue with the result, and only while the state object still exists (the
// pending reply holds it weakly).
void sendToService(AppState& state, HttpRequest request,
                   std::function<void(AppState&, HttpResult)> handler);

}  // namespace kt
