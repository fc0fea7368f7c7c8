#pragma once

#include <string>

namespace kt {

// The user's persistent settings (one flag is all the application keeps).
class Settings {
  public:
    virtual ~Settings() = default;
    virtual bool boolValue(const std::string& key, bool fallback) const = 0;
    virtual void setBoolValue(const std::string& key, bool value) = 0;
};

}  // namespace kt
