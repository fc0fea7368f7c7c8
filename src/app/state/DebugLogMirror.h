#pragma once

#include <functional>
#include <string>

namespace kt {

class PublishedState;

// Hands every line added to the debug log, once, to `write` (on the main
// thread, as it is added). For diagnosing the application from outside,
// where nobody can look at the debug panel; the log itself stays as it is.
void mirrorDebugLog(PublishedState& state, std::function<void(const std::string& line)> write);

}  // namespace kt
