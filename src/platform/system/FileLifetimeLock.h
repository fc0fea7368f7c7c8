#pragma once

#include <string>

#include "platform/LifetimeLock.h"

namespace kt {

// A shared flock on the file the root helper made for this user; the process
// keeps it open (not passed to child processes) until it ends. The helper
// makes the file afresh when it was not this user's: holding it again then
// takes the new file. Main thread only.
class FileLifetimeLock final : public LifetimeLock {
  public:
    explicit FileLifetimeLock(std::string path);
    ~FileLifetimeLock() override;

    void hold() override;

  private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace kt
