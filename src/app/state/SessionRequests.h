#pragma once

#include <optional>
#include <string>

#include "platform/Time.h"

namespace kt {

// What the block on this computer came to, as the class is told after each
// privileged run and when the application quits.
enum class BlockOutcome { Blocked, Free, Failed, Quit };

struct BlockReport {
    BlockOutcome outcome = BlockOutcome::Free;
    // Failed: the line the student reads about it.
    std::optional<std::string> error = std::nullopt;
    // The names and the firewall rules in force.
    int names = 0;
    int rules = 0;
};

// All the blocking side may ask of the class session. The blocking side
// knows nothing else of it.
class SessionRequests {
  public:
    virtual ~SessionRequests() = default;
    // Log in again with the saved name and code `delay` from now (the
    // watchdog's repair), with `announcement` as the status line meanwhile.
    virtual void reconnectAfter(Seconds delay, std::string announcement) = 0;
    // Tells the class service, while logged in, what the block came to. Never
    // waits and never retries: a service that does not take it is left alone.
    virtual void reportBlock(const BlockReport& report) = 0;
};

}  // namespace kt
