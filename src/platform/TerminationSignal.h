#pragma once

#include <functional>

namespace kt {

// The termination signal (SIGTERM) of the process.
class TerminationSignal {
  public:
    virtual ~TerminationSignal() = default;

    // From now on the termination signal no longer ends the process at once:
    // `respond` runs on a thread of its own, never in signal context, and the
    // process ends with exit status 0 when it returns. `respond` must touch
    // nothing that other threads change. Other signals keep their default
    // behaviour. Called once, before the handling is needed.
    virtual void onTerminationSignal(std::function<void()> respond) = 0;
};

}  // namespace kt
