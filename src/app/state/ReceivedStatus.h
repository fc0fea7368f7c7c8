#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kt {

using AddressRange = std::pair<std::string, std::string>;

// The status the class session received, as the blocking side follows it:
// the teacher's switch of the last reply and the lists the replies sent (a
// list that a reply left out or sent unreadable stays as it was).
struct ReceivedStatus {
    bool blocked = false;
    std::vector<std::string> domains = {};
    std::vector<std::string> ips = {};
    std::vector<AddressRange> ranges = {};
};

// How a class session ended, as far as the block goes.
enum class SessionEnd {
    // The service no longer knows it: the block comes out (the last switch
    // received stands).
    Expired,
    // The student left the class: the block comes out; the switch and the
    // lists received are forgotten.
    LoggedOut,
    // A reconnect found no new session: the block comes out; the switch
    // received and the counters are forgotten, and the watchdog starts afresh.
    Lost,
};

// All the class session tells the blocking side. The session knows nothing
// else of it.
class StatusFollower {
  public:
    virtual ~StatusFollower() = default;
    // Every status reply of a running session that could be read.
    virtual void follow(const ReceivedStatus& status) = 0;
    virtual void sessionEnded(SessionEnd end) = 0;
    // A reconnect gave a new session: the block goes in again, whatever the
    // class's state.
    virtual void sessionRenewed() = 0;
};

}  // namespace kt
