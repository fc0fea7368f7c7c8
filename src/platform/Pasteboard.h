#pragma once

#include <string>

namespace kt {

// The system clipboard.
class Pasteboard {
  public:
    virtual ~Pasteboard() = default;
    // Replaces whatever the clipboard holds with `text`, as plain text.
    virtual void setText(const std::string& text) = 0;
};

}  // namespace kt
