#pragma once

namespace kt {

// A lock the application holds for as long as it runs, by which the guardian
// knows that the application is still there. Holding it again is harmless,
// and takes the lock file anew when it was replaced; while the lock file is
// not there yet, hold() does nothing.
class LifetimeLock {
  public:
    virtual ~LifetimeLock() = default;
    virtual void hold() = 0;
};

}  // namespace kt
