#pragma once

#include <string>

#include "platform/Time.h"

namespace kt {

// Time of day in the user's locale, without a date. Callable from any thread.
class TimeFormatter {
  public:
    virtual ~TimeFormatter() = default;
    // Hours, minutes and seconds: "14:03:27" in Dutch.
    virtual std::string mediumTime(TimePoint t) const = 0;
    // Hours and minutes: "14:03" in Dutch.
    virtual std::string shortTime(TimePoint t) const = 0;
};

}  // namespace kt
