#pragma once

#include <functional>

#include "platform/TerminationSignal.h"

namespace kt::testing {

// Keeps the response so that the test can run it as the signal would.
class FakeTerminationSignal final : public TerminationSignal {
  public:
    void onTerminationSignal(std::function<void()> respond) override {
        ++installations;
        response = std::move(respond);
    }

    int installations = 0;
    std::function<void()> response;
};

}  // namespace kt::testing
