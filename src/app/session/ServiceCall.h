#pragma once

#include <functional>

#include "app/session/ClassSession.h"
#include "platform/HttpClient.h"

namespace kt {

// Sends `request` through the HTTP port; `handler` runs later on the main
// queue with the result, and only while the session still exists (the
// pending reply holds it weakly).
void sendToService(ClassSession& session, HttpRequest request,
                   std::function<void(ClassSession&, HttpResult)> handler);

}  // namespace kt
