#pragma once

#include <string>

#include "platform/SystemInformation.h"

namespace kt::testing {

class FakeSystemInformation final : public SystemInformation {
  public:
    std::string version = "Version 13.6 (Build 22G120)";

    std::string operatingSystemVersion() const override { return version; }
};

}  // namespace kt::testing
