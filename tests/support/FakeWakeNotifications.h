#pragma once

#include <functional>
#include <vector>

#include "platform/WakeNotifications.h"

namespace kt::testing {

// Wake from sleep when the test says so.
class FakeWakeNotifications final : public WakeNotifications {
  public:
    void observeWake(std::function<void()> onWake) override {
        observers.push_back(std::move(onWake));
    }

    void wake() {
        const auto current = observers;
        for (const auto& observer : current) observer();
    }

    std::vector<std::function<void()>> observers;
};

}  // namespace kt::testing
