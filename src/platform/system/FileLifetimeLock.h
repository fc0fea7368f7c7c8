#pragma once

#include <mutex>
#include <string>

#include "platform/LifetimeLock.h"

namespace kt {

// A shared flock on a file that root made; the process keeps it open (not
// passed to child processes) until it ends.
class FileLifetimeLock final : public LifetimeLock {
  public:
    explicit FileLifetimeLock(std::string path);
    ~FileLifetimeLock() override;

    void hold() override;
    bool held() const;

  private:
    std::string path_;
    mutable std::mutex mutex_;
    int fd_ = -1;
};

}  // namespace kt
