#include <string>

#include "app/state/DebugLogText.h"
#include "app/state/PublishedState.h"

namespace kt {

void PublishedState::addDebugLog(const std::string& message) {
    std::string line = "[" + timeFormatter_->mediumTime(clock_->now()) + "] " + message;
    // Always posted, also from the main thread: lines keep the order of the queue.
    scheduler_->post([this, alive = std::weak_ptr(alive_), line = std::move(line)] {
        if (alive.expired())
            return;
        debugLog = debuglog::prepend(debugLog.get(), line);
        if (auto capped = debuglog::capped(debugLog.get()))
            debugLog = std::move(*capped);
    });
}

}  // namespace kt
