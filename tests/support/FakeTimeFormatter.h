#pragma once

#include <cstdio>
#include <ctime>

#include "platform/TimeFormatter.h"

namespace kt::testing {

// Renders times in UTC as a Dutch computer would: "09:05:01" and "09:05".
class FakeTimeFormatter final : public TimeFormatter {
  public:
    std::string mediumTime(TimePoint t) const override { return format(t, "%H:%M:%S"); }
    std::string shortTime(TimePoint t) const override { return format(t, "%H:%M"); }

  private:
    static std::string format(TimePoint t, const char* pattern) {
        const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
        std::tm parts{};
        gmtime_r(&seconds, &parts);
        char text[16];
        std::strftime(text, sizeof text, pattern, &parts);
        return text;
    }
};

}  // namespace kt::testing
