#pragma once

#include <string>

#include "platform/Pasteboard.h"

namespace kt::testing {

class FakePasteboard final : public Pasteboard {
  public:
    void setText(const std::string& value) override {
        text = value;
        ++writes;
    }
    std::string text;
    int writes = 0;
};

}  // namespace kt::testing
