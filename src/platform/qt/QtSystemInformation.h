#pragma once

#include "platform/SystemInformation.h"

namespace kt {

class QtSystemInformation final : public SystemInformation {
  public:
    std::string operatingSystemVersion() const override;
};

}  // namespace kt
