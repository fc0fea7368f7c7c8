#pragma once

#include <chrono>

namespace kt {

// Delays and intervals are seconds as a double, as the timings of the
// application are written (0.3 s, 5.0 s).
using Seconds = std::chrono::duration<double>;
using TimePoint = std::chrono::system_clock::time_point;

}  // namespace kt
