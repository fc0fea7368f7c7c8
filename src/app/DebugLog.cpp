#include <string>
#include <string_view>

#include "app/AppState.h"
#include "app/DebugLogText.h"

namespace kt {

void AppState::addDebugLog(const std::string& message) {
    std::string line = "[" + ports_.timeFormatter->mediumTime(ports_.clock->now()) + "] " + message;
    // Always posted, also from the main thread: lines keep the order of the queue.
    ports_.scheduler->post([self = shared_from_this(), line = std::move(line)] {
        self->debugLog = debuglog::prepend(self->debugLog.get(), line);
        if (auto capped = debuglog::capped(self->debugLog.get()))
            self->debugLog = std::move(*capped);
    });
}

}  // namespace kt
