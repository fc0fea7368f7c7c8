#pragma once

#include <functional>

namespace kt {

// Tells when the computer has woken from sleep.
class WakeNotifications {
  public:
    virtual ~WakeNotifications() = default;

    // Calls `onWake` on the main thread every time the computer wakes, for
    // the life of the adapter. Main thread only; there is no unregistering.
    virtual void observeWake(std::function<void()> onWake) = 0;
};

}  // namespace kt
