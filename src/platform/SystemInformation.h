#pragma once

#include <string>

namespace kt {

// Facts about the computer the application runs on.
class SystemInformation {
  public:
    virtual ~SystemInformation() = default;
    // A human-readable description of the running system version,
    // e.g. "Debian GNU/Linux 12 (bookworm)".
    virtual std::string operatingSystemVersion() const = 0;
};

}  // namespace kt
