#pragma once

#include <string>

#include "platform/Time.h"

namespace kt {

// All the blocking side may ask of the class session. The blocking side
// knows nothing else of it.
class SessionRequests {
  public:
    virtual ~SessionRequests() = default;
    // Log in again with the saved name and code `delay` from now (the
    // watchdog's repair), with `announcement` as the status line meanwhile.
    virtual void reconnectAfter(Seconds delay, std::string announcement) = 0;
};

}  // namespace kt
