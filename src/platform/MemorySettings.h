#pragma once

#include <map>
#include <string>

#include "platform/Settings.h"

namespace kt {

// Settings that live only as long as the process: used where nothing may be
// persisted, such as the self-test run.
class MemorySettings final : public Settings {
  public:
    bool boolValue(const std::string& key, bool fallback) const override {
        auto it = values_.find(key);
        return it == values_.end() ? fallback : it->second;
    }
    void setBoolValue(const std::string& key, bool value) override { values_[key] = value; }

  private:
    std::map<std::string, bool> values_;
};

}  // namespace kt
