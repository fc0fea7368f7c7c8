#pragma once

#include "platform/Scheduler.h"

namespace kt {

class SystemClock final : public Clock {
  public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace kt
