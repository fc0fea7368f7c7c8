#pragma once

#include <string>

#include "platform/LifetimeLock.h"

namespace kt {

// A shared flock on a file that root made; the process keeps it open (not
// passed to child processes) until it ends. Main thread only.
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
