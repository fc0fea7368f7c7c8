#pragma once

#include "platform/Pasteboard.h"

namespace kt {

class QtPasteboard final : public Pasteboard {
  public:
    void setText(const std::string& text) override;
};

}  // namespace kt
